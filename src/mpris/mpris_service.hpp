#pragma once
// The player offered to the desktop on the session bus as
// org.mpris.MediaPlayer2.audiobook_client: its media keys and media controls
// play, pause, stop, seek, change the speed and move along the episode list.
// Without a session bus nothing is offered and nothing fails.
#include "text/text.hpp"

#include <QObject>

#include <cstdint>
#include <functional>

class ListeningControl;

// What plays, as the desktop shows it.
struct MprisTrack {
    std::uint64_t id = 0; // stays with the episode's row
    Text label;           // the episode
    Text book;            // the book's title
    Text cover_file;      // a local file of the book's cover, if any
};

// What the window does for the desktop.
struct MprisHooks {
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void()> play; // play or go on from where listening stopped
    std::function<void()> raise;
    std::function<MprisTrack()> track;
};

class MprisService : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* service_name = "org.mpris.MediaPlayer2.audiobook_client";
    static constexpr const char* object_path = "/org/mpris/MediaPlayer2";

    MprisService(ListeningControl& control, MprisHooks hooks, QObject* parent = nullptr);
    ~MprisService() override;
    bool registered() const { return registered_; }

  private:
    bool registered_ = false;
};

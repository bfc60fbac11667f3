#pragma once
// The player: what plays one episode at a time, with the play states the rest
// of the program follows. It drives the playback engine and has no face of its
// own; the window shows it through a MediaPlayer.
#include "text/text.hpp"

#include <QObject>
#include <QUrl>

#include <filesystem>
#include <memory>

class Player;
class PlaybackEngine;

// The transport controls object of the player.
class PlayerControls {
  public:
    explicit PlayerControls(Player& player) : player_(player) {}
    void play();
    void pause();
    void stop();

  private:
    Player& player_;
};

class Player : public QObject {
    Q_OBJECT
  public:
    // Play states in the numbering the program uses.
    enum PlayState {
        Undefined = 0,
        Stopped = 1,
        Paused = 2,
        Playing = 3,
        Buffering = 6,
        MediaEnded = 8,
        Transitioning = 9,
        Ready = 10,
    };
    // Open states raised by OpenStateChange.
    enum OpenState {
        MediaChanging = 8, // a new address was assigned
        MediaOpen = 13,    // the media is open and can play
    };

    explicit Player(QObject* parent = nullptr);
    ~Player() override;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Setting the address opens it and, with autoStart, plays it. An http(s)
    // address is a GBK text; a local path plays from the file. When `native` is
    // given it is the file's own path on disk and is played instead of the text.
    void setURL(const Text& address, const std::filesystem::path& native = {});
    Text URL() const;
    int playState() const;
    // Playing, buffering or opening to play.
    bool running() const;
    PlayerControls& controls();
    bool autoStart() const;
    void setAutoStart(bool on);
    // 0 to 100.
    int volume() const;
    // What the play/pause button does: pause while playing, play otherwise.
    void toggle_play_pause();
    // The engine underneath, for whatever watches playback (its position, its
    // duration) without changing how it goes.
    PlaybackEngine& engine();
    // Moves to a position in milliseconds when the media can seek.
    void seek_to(qint64 position);
    // Ends the episode here as its end of media would (a book's outro is not
    // heard): it stops, reports MediaEnded, then settles on Stopped.
    void end_episode();
    // The player stopped because it was told to stop (the user's ■), not at
    // the end of the media nor because the address could not be played; false
    // again once it plays or opens another address.
    bool stopped_by_user() const;

  signals:
    // Raised while a newly assigned address opens and once it is open; never at
    // the end of playback.
    void OpenStateChange(int new_state);
    // Raised whenever playState changes, with the new value.
    void PlayStateChange(int new_state);

  private:
    friend class PlayerControls;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The address handed to the engine: an http(s) address in the program's one
// percent-encoded form (percent_encode_unsafe), so the player asks for the
// same bytes as the download (GBK bytes stay GBK bytes on the wire); anything
// else is a local file.
QUrl media_address(const Text& address, const std::filesystem::path& native = {});

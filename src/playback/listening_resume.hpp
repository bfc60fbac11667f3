#pragma once
// Listening resumes where it stopped. Attached to the player, this object
// watches playback without taking part in it: while an episode plays it keeps
// the position in a ListeningPositions file, saved every few seconds, on pause,
// on stop, on switching to another episode and when it is destroyed; an episode
// that starts with a saved position more than `margin_ms` in and more than
// `margin_ms` before its end starts there, as soon as the media can seek, and
// so does one played again after a stop; an episode heard to its end is
// forgotten. Playback itself goes on as before.
#include "playback/listening_positions.hpp"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <optional>

class Player;

class ListeningResume : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 margin_ms = 10000;
    static constexpr int save_interval_ms = 3000;

    // Destroy it before the player, or make it a child of the player or of
    // the player's window.
    ListeningResume(Player& player, const std::filesystem::path& file,
                    QObject* parent = nullptr);
    ~ListeningResume() override;
    ListeningResume(const ListeningResume&) = delete;
    ListeningResume& operator=(const ListeningResume&) = delete;

    // The episode open now starts where it was asked to (a bookmark): the
    // place it was left at is not gone to, even once its length is known.
    void forgo();

  private:
    void follow_source();
    void note_position(qint64 position);
    void on_play_state(int playback);
    void on_media_status(int status);
    void try_resume();
    void commit();
    void commit_and_save();

    Player& player_;
    ListeningPositions positions_;
    QTimer save_timer_;
    Text episode_;                    // the episode being heard ("" when none)
    QUrl source_;                     // the engine's source it was opened as
    std::optional<qint64> heard_;     // last position heard while playing or paused
    std::optional<qint64> resume_at_; // a saved position waiting for the media to open
};

#pragma once
// Binds the listening state to the player: the speed and the volume are
// applied, the sleep timer fades and pauses (and holds while nothing plays),
// jumps move the position, playing after a long pause goes back 5 s, a book's
// intro is skipped and its outro ends the episode, and an episode heard to its
// end is marked. No widgets of its own; the listening bar and the window drive it.
#include "listening/listening_session.hpp"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class Player;

class ListeningControl : public QObject {
    Q_OBJECT
  public:
    static constexpr int tick_ms = 250;

    // Make it a child of the player's window, or destroy it before the player.
    // It keeps the session and saves it when it goes.
    ListeningControl(Player& player, std::unique_ptr<ListeningSession> session,
                     QObject* parent = nullptr);
    ~ListeningControl() override;

    ListeningSession& session() { return *session_owned_; }
    Player& player() { return player_; }

    // The book whose episode plays now.
    void open_book(const Text& title);
    void set_speed_tenths(int tenths);
    void faster() { set_speed_tenths(session_.speed_tenths() + 1); }
    void slower() { set_speed_tenths(session_.speed_tenths() - 1); }
    void set_volume(int volume);
    void set_skip_silence(bool on);
    void choose_sleep(int minutes);
    void extend_sleep();
    std::optional<std::int64_t> sleep_remaining() const;
    // Jumps back 15 s or on 30 s; the place jumped to, or nothing when the
    // episode cannot seek.
    std::optional<std::int64_t> back();
    std::optional<std::int64_t> forward();
    void set_skips(int intro_seconds, int outro_seconds);

  signals:
    // Speed, volume, skips or the sleep timer changed (also every second while
    // the sleep timer counts down).
    void changed();
    // The episode played to its end (or into its outro).
    void episode_heard(const Text& episode);

  private:
    std::int64_t now() const { return clock_.elapsed(); }
    void tick();
    void on_play_state(int state);
    void on_new_episode();
    void skip_intro();
    void apply_volume();
    void apply_speed();
    void apply_skip_silence();
    std::optional<std::int64_t> jump(std::int64_t delta);
    void finish_episode();

    Player& player_;
    std::unique_ptr<ListeningSession> session_owned_;
    ListeningSession& session_;
    QElapsedTimer clock_;
    QTimer ticker_;
    bool intro_pending_ = false;
    bool finished_ = false; // the episode that plays was marked heard
    std::int64_t last_second_ = -1;
};

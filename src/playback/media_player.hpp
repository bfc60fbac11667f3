#pragma once
// The embedded player's face: play/pause, stop, a seek bar counting seconds and
// the time, over a Player that plays without it.
#include <QWidget>

class Player;
class QLabel;
class QSlider;
class QToolButton;

class MediaPlayer : public QWidget {
    Q_OBJECT
  public:
    explicit MediaPlayer(Player& player, QWidget* parent = nullptr);

    Player& player() { return player_; }
    QSize sizeHint() const override;

  private:
    void build_face();
    void bind();
    void show_state(int state);
    void show_time();
    // The play button says what pressing it does.
    void name_play_button(bool running);

    Player& player_;
    QToolButton* play_button_ = nullptr;
    QToolButton* stop_button_ = nullptr;
    QSlider* seek_bar_ = nullptr;
    QLabel* time_label_ = nullptr;
    bool user_moves_ = false; // a key or the wheel moves the seek bar
};

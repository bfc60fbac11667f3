#pragma once
// The listening bar: speed ("1.5×"), the sleep timer with the time left (a
// press on it while it counts down adds the chosen time again), back 15 s and
// forward 30 s, the volume (0 to 200 %, a mark at 100 %), the book's intro
// and outro in seconds, and "继续收听". Every control has an accessible name; `[` and `]` change the speed
// anywhere in the window where typing does not take them.
#include <QWidget>

#include <cstdint>
#include <optional>

class ListeningControl;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

class ListeningBar : public QWidget {
    Q_OBJECT
  public:
    ListeningBar(ListeningControl& control, QWidget* parent = nullptr);

  signals:
    // "继续收听" was pressed.
    void continue_listening();
    // What a change the user made did, for a screen reader to say: the place
    // after a jump, the speed `[` and `]` set, the sleep time chosen and the
    // time left.
    void told(const QString& message);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void build();
    void fit_to_font();
    void bind();
    void show_state();
    void tell_jump(std::optional<std::int64_t> to, const char* what);

    ListeningControl& control_;
    QDoubleSpinBox* speed_ = nullptr;
    QComboBox* sleep_ = nullptr;
    QToolButton* sleep_left_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QSlider* volume_ = nullptr;
    QSpinBox* intro_ = nullptr;
    QSpinBox* outro_ = nullptr;
    QPushButton* continue_ = nullptr;
};

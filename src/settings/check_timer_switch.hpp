#pragma once
// "后台追更": the settings window's switch for the check on schedule. It shows
// the timer's state as the user's systemd manager tells it when the window
// opens, and the line under it says what the switch does; where the timer
// cannot be switched (no user manager answers, the timer is not installed) the
// switch stays off and disabled and that line, its tooltip and its description
// say why. The change is made when the settings are saved.
#include "text/text.hpp"

#include <QCheckBox>

class QLabel;

class CheckTimerSwitch : public QCheckBox {
    Q_OBJECT
  public:
    explicit CheckTimerSwitch(QWidget* parent);

    // The explaining line, for the form to place under the switch.
    QLabel* hint() const { return hint_; }
    // Switches the timer when the box no longer says its state, then shows the
    // state again. Empty when there was nothing to do or it was done.
    Text apply();

  private:
    void read_state();
    void say(const QString& text);

    QLabel* hint_;
    bool on_ = false; // the timer's state as last read
};

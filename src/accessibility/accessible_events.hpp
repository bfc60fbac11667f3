#pragma once
// What the program tells a screen reader of its changes, on its way to Qt's
// accessibility bridge.
//
// Quiet changes: a control the program updates by itself (a seek bar following
// playback, a clock in a button's name) is not announced on every update; a
// screen reader reads its value or name when the user comes to it, and hears a
// change the user makes.
//
// On Qt 6.4 the bridge sends the object itself, not its new text, with a change
// of name or description, which a screen reader cannot say; those changes go out
// with their text instead.
#include <QString>

class QObject;

// Put in place once, with the application (guard_accessibility_bridge does it).
void watch_accessible_events();

// While one lives, value, name and description changes of `source` are not
// announced.
class QuietAccessibleChanges {
  public:
    explicit QuietAccessibleChanges(QObject* source);
    ~QuietAccessibleChanges();
    QuietAccessibleChanges(const QuietAccessibleChanges&) = delete;
    QuietAccessibleChanges& operator=(const QuietAccessibleChanges&) = delete;

  private:
    QObject* source_;
};

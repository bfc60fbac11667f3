#pragma once
// Says a short message to a screen reader without moving the keyboard focus: a
// notification inside the window that shows for each message (screen readers
// say a notification as it shows). It is never drawn and takes no room.
#include <QWidget>

class Announcer : public QWidget {
    Q_OBJECT
  public:
    explicit Announcer(QWidget* window);
    void announce(const QString& message);
    // The message said last.
    QString message() const { return message_; }

  private:
    QString message_;
};

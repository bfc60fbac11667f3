#pragma once
// "追更": follows the book shown, so that its new episodes arrive by themselves,
// or stops following it. It can be ticked once a book is shown.
#include <QCheckBox>

class BookSession;

class FollowSwitch : public QCheckBox {
    Q_OBJECT
  public:
    explicit FollowSwitch(BookSession& session, QWidget* parent = nullptr);

  private:
    void show_state();

    BookSession& session_;
};

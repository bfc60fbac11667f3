#pragma once
// "追更": follows the book whose list is shown, so that its new episodes arrive
// by themselves, or stops following it. It can be ticked once that book's page
// was loaded, and unticked whenever the book is shown.
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

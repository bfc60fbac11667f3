#pragma once
// The bookmarks of the book shown: "添加书签" (also
// `B` anywhere in the window where typing does not take it) marks the place
// playing and opens its note for typing while playback goes on (it is disabled
// while no episode is open); the list "书签", shown once the book has a
// bookmark, shows episode, time and note. The window lays the list out where
// its coming moves nothing (list()). Enter or a
// double click plays a bookmark, F2 edits its note, Delete removes it; the
// context menu offers the same. Beside the button stands the silence switch
// ("跳过静音"). The button and the switch stand at the end of a line they share
// with another widget (the window's run line); the list of bookmarks, once
// there are some, stands below everything else.
//
// A screen reader hears what each act did: the bookmark added (or why none
// was), the jump to a bookmark; the note's editor is named. The current
// bookmark stays the one the user had when the list changes.
#include "listening/bookmarks.hpp"

#include <QWidget>

#include <vector>

class BookSession;
class Narration;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class BookmarkView : public QWidget {
    Q_OBJECT
  public:
    // `beside`, if given, is laid at the start of the first line and takes its
    // free width.
    BookmarkView(BookSession& session, Narration& narration, QWidget* beside,
                 QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }

  signals:
    void listShownOrHidden();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void build(QWidget* beside);
    void bind();
    void show_bookmarks();
    void add();
    void play(int row);
    void edit_note(QTreeWidgetItem* item);
    void menu(const QPoint& at);
    int row(QTreeWidgetItem* item) const;

    BookSession& session_;
    Narration& narration_;
    std::vector<Bookmark> shown_; // as the list shows them
    QToolButton* add_ = nullptr;
    QTreeWidget* list_ = nullptr;
    bool editing_ = false;       // a note is being typed
    bool refresh_waits_ = false; // the list changed meanwhile
};

#pragma once
// The bookmarks of the book shown, under the listening bar: "添加书签" (also
// `B` anywhere in the window where typing does not take it) marks the place
// playing and opens its note for typing while playback goes on; the list "书签"
// shows episode, time and note. Enter or a double click plays a bookmark, F2
// edits its note, Delete removes it; the context menu offers the same.
#include <QWidget>

class BookSession;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class BookmarkView : public QWidget {
    Q_OBJECT
  public:
    BookmarkView(BookSession& session, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void bind();
    void show_bookmarks();
    void add();
    void edit_note(QTreeWidgetItem* item);
    void menu(const QPoint& at);
    int row(QTreeWidgetItem* item) const;

    BookSession& session_;
    QPushButton* add_ = nullptr;
    QTreeWidget* list_ = nullptr;
    bool editing_ = false;       // a note is being typed
    bool refresh_waits_ = false; // the list changed meanwhile
};

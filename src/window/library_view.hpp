#pragma once
// The library: the book folders under the save folder as a list, each with its
// cover, title, heard and stored episodes, whether it is followed and when it
// was last listened to; and the removal of a book to the desktop's trash.
#include <QDateTime>
#include <QStyledItemDelegate>

class BookSession;
class QListWidget;

// The line under a book's title (its counts, when it was last listened to),
// drawn after the title; the title itself stays the item's text. Each of the
// two lines is elided at the list's width.
class FolderProgressDelegate : public QStyledItemDelegate {
  public:
    static constexpr int progress_role = Qt::UserRole + 7;
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The book folders of the session in the folder list. The book the user chose
// stays chosen while the list reorders or only the counts change, and no
// choice is made behind the user's back.
void show_book_folders(QListWidget* folder_list, const BookSession& session);

// The folder list takes the keyboard focus (not by a click) with a current book,
// the one chosen or else the first, so that a screen reader reads an entry
// rather than only the list; nothing is chosen or opened by it.
void give_current_book_on_focus(QListWidget* folder_list);

// The library's list (超级列表框2): the book folders with their covers and
// counts, several chosen at once, with its removal, update check and focus.
QListWidget* make_library_list(QWidget* parent, BookSession& session);

// When a book was last listened to, said shortly against `now`: "今天 21:40",
// "昨天 21:40", "12月9日", or the year too when it is not this one.
QString listened_when(qint64 seconds, const QDateTime& now);

// Delete on the folder list, and its context menu, move the chosen book to the
// trash once the user confirms.
void offer_book_removal(QListWidget* folder_list, BookSession& session);

// "检查更新" in the folder list's context menu checks the chosen followed book
// now; it is offered only for a followed book.
void offer_update_check(QListWidget* folder_list, BookSession& session);

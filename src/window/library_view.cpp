#include "window/library_view.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/accessible_controls.hpp"

#include <QAction>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimeZone>

#include <algorithm>
#include <set>

namespace {

constexpr QSize cover_size{30, 42};

QString say(const char* text) {
    return to_qstring(gbk(text));
}

// A plain page for a book whose cover was never kept.
QIcon placeholder_cover() {
    static const QIcon icon = [] {
        QPixmap page(cover_size);
        page.fill(Qt::transparent);
        QPainter painter(&page);
        painter.setPen(QColor(150, 150, 150));
        painter.setBrush(QColor(225, 225, 225));
        painter.drawRect(QRect(QPoint(0, 0), cover_size - QSize(1, 1)));
        return QIcon(page);
    }();
    return icon;
}

QIcon cover_icon(const std::filesystem::path& file) {
    QPixmap picture;
    if (file.empty() || !picture.load(QFile::decodeName(file.c_str())))
        return placeholder_cover();
    return QIcon(picture.scaled(cover_size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QString counts_line(const BookSession& session, const BookFolder& folder) {
    QString line = folder.episodes == 0
                       ? QString()
                       : QStringLiteral("%1/%2").arg(folder.heard).arg(folder.episodes);
    // A followed book says so, and says why its last check failed.
    if (const FollowedBook* followed = session.followed_books().in_folder(folder.name))
        line += to_qstring(gbk(followed->trouble.empty() ? " 追更" : " 追更：")) +
                to_qstring(followed->trouble);
    return line.trimmed();
}

// A right click chooses the entry under the pointer for the menu that follows,
// without the list telling anyone: the book is not opened.
class RightClickChooses : public QObject {
  public:
    explicit RightClickChooses(QListWidget* list) : QObject(list), list_(list) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease &&
            event->type() != QEvent::MouseButtonDblClick)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            const QModelIndex at = list_->indexAt(mouse->position().toPoint());
            if (at.isValid() && !list_->selectionModel()->isSelected(at)) {
                const QSignalBlocker quiet(list_->selectionModel());
                list_->selectionModel()->setCurrentIndex(
                    at, QItemSelectionModel::ClearAndSelect);
                list_->viewport()->update();
            }
        }
        (void)watched;
        return true;
    }

  private:
    QListWidget* list_;
};

int chosen_row(const QListWidget* folder_list) {
    for (int i = 0; i < folder_list->count(); ++i)
        if (folder_list->item(i)->isSelected())
            return i;
    return -1;
}

} // namespace

void give_current_book_on_focus(QListWidget* folder_list) {
    read_current_item_on_focus(folder_list);
}

void FolderProgressDelegate::initStyleOption(QStyleOptionViewItem* option,
                                             const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString progress = index.data(progress_role).toString();
    if (!progress.isEmpty())
        option->text += QChar::LineSeparator + QString(progress).replace('\n', QChar::LineSeparator);
}

// An entry asks for no more width than its cover: the list gives it its own
// width, so that each line is elided at the list's edge, never scrolled.
QSize FolderProgressDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    QSize hint = QStyledItemDelegate::sizeHint(option, index);
    hint.setWidth(std::min(hint.width(), option.decorationSize.width()));
    return hint;
}

QString listened_when(qint64 seconds, const QDateTime& now) {
    if (seconds <= 0)
        return {};
    const QDateTime then = QDateTime::fromSecsSinceEpoch(seconds, now.timeZone());
    const qint64 days = then.date().daysTo(now.date());
    const QString time = then.toString(QStringLiteral("HH:mm"));
    if (days == 0)
        return say("今天 ") + time;
    if (days == 1)
        return say("昨天 ") + time;
    if (then.date().year() == now.date().year())
        return QStringLiteral("%1%2%3%4").arg(then.date().month()).arg(say("月")).arg(then.date().day()).arg(say("日"));
    return QStringLiteral("%1%2%3%4%5%6")
        .arg(then.date().year()).arg(say("年"))
        .arg(then.date().month()).arg(say("月"))
        .arg(then.date().day()).arg(say("日"));
}

void show_book_folders(QListWidget* folder_list, const BookSession& session) {
    const std::vector<BookFolder>& folders = session.folders();
    std::set<QString> chosen;
    for (const QListWidgetItem* item : folder_list->selectedItems())
        chosen.insert(item->text());
    const QString current = folder_list->currentItem() ? folder_list->currentItem()->text()
                                                       : QString();
    // The list is brought up to date in place, with its selection signals
    // held: a book moving up must not read as the user choosing another.
    const QSignalBlocker hold(folder_list->selectionModel());
    while (folder_list->count() > int(folders.size()))
        delete folder_list->takeItem(folder_list->count() - 1);
    while (folder_list->count() < int(folders.size()))
        new QListWidgetItem(folder_list);
    const QDateTime now = QDateTime::currentDateTime();
    QListWidgetItem* current_item = nullptr;
    for (int i = 0; i < folder_list->count(); ++i) {
        const BookFolder& folder = folders[std::size_t(i)];
        QListWidgetItem* item = folder_list->item(i);
        const QString title = to_qstring(folder.name);
        const QString cover = QFile::decodeName(folder.cover.c_str());
        if (item->text() != title || item->data(Qt::UserRole).toString() != cover) {
            item->setText(title);
            item->setData(Qt::UserRole, cover);
            item->setIcon(cover_icon(folder.cover));
        }
        const QString counts = counts_line(session, folder);
        const QString when = listened_when(folder.last_listened, now);
        // One line under the title, cut short in a narrow list; the tooltip
        // holds it whole.
        QString line = counts;
        if (!when.isEmpty())
            line += (line.isEmpty() ? QString() : QStringLiteral("  ")) + when;
        item->setData(FolderProgressDelegate::progress_role, line);
        item->setToolTip(line.isEmpty() ? title : title + QChar('\n') + line);
        QString spoken = title;
        if (!counts.isEmpty())
            spoken += say("，已听 ") + QString::number(folder.heard) + say("，共 ") +
                      QString::number(folder.episodes) + say(" 集") +
                      (counts.contains(say("追更")) ? say("，追更") : QString());
        if (!when.isEmpty())
            spoken += say("，上次收听 ") + when;
        item->setData(Qt::AccessibleTextRole, spoken);
        item->setData(Qt::AccessibleDescriptionRole, say("回车打开这本书，Delete 移到回收站"));
        item->setSelected(chosen.count(title) > 0);
        if (title == current)
            current_item = item;
    }
    folder_list->selectionModel()->setCurrentIndex(
        current_item ? folder_list->indexFromItem(current_item) : QModelIndex(),
        QItemSelectionModel::NoUpdate);
    folder_list->viewport()->update();
}

void offer_update_check(QListWidget* folder_list, BookSession& session) {
    auto* check = new QAction(say("检查更新"), folder_list);
    check->setObjectName(QStringLiteral("检查更新"));
    folder_list->addAction(check);
    const auto offer = [folder_list, check, &session] {
        const int row = chosen_row(folder_list);
        check->setEnabled(row >= 0 && row < int(session.folders().size()) &&
                          session.followed_books().in_folder(session.folders()[std::size_t(row)].name));
    };
    QObject::connect(folder_list, &QListWidget::itemSelectionChanged, check, offer);
    // Once the list shows the folders anew.
    QObject::connect(&session, &BookSession::followedChanged, check, offer, Qt::QueuedConnection);
    QObject::connect(&session, &BookSession::foldersChanged, check, offer, Qt::QueuedConnection);
    offer();
    QObject::connect(check, &QAction::triggered, folder_list, [folder_list, &session] {
        session.check_book_folder(chosen_row(folder_list));
    });
}

void offer_book_removal(QListWidget* folder_list, BookSession& session) {
    auto* remove = new QAction(say("移到回收站"), folder_list);
    remove->setObjectName(QStringLiteral("移到回收站"));
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    folder_list->addAction(remove);
    folder_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    folder_list->viewport()->installEventFilter(new RightClickChooses(folder_list));
    QObject::connect(remove, &QAction::triggered, folder_list, [folder_list, &session] {
        const int row = chosen_row(folder_list);
        if (row < 0 || row >= int(session.folders().size()))
            return;
        const Text& name = session.folders()[std::size_t(row)].name;
        const QString title = to_qstring(name);
        const bool followed = session.followed_books().in_folder(name) != nullptr;
        QWidget* window = folder_list->window();
        const auto answer = QMessageBox::question(
            window, say("移除"),
            say("把《") + title + say(followed ? "》的文件夹移到回收站，并不再追更？"
                                                 : "》的文件夹移到回收站？"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        const Text why = session.remove_book(row);
        if (!why.empty())
            QMessageBox::information(window, say("移除"), to_qstring(why));
        folder_list->setFocus();
    });
}

QListWidget* make_library_list(QWidget* parent, BookSession& session) {
    auto* list = new QListWidget(parent);
    list->setObjectName(to_qstring(gbk("超级列表框2")));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setItemDelegate(new FolderProgressDelegate(list));
    list->setIconSize(QSize(30, 42));
    list->setWordWrap(false); // the title over its counts, each line elided
    list->setTextElideMode(Qt::ElideRight);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    offer_book_removal(list, session);
    offer_update_check(list, session);
    give_current_book_on_focus(list);
    return list;
}

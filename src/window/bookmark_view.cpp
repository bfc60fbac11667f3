#include "window/bookmark_view.hpp"

#include "listening/bookmarks.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "playback/silence_switch.hpp"
#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/accessible_controls.hpp"
#include "window/narration.hpp"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

// "1:02:05" or "12:05".
QString time_text(std::int64_t ms) {
    const std::int64_t s = ms / 1000;
    const QString minutes_seconds =
        QStringLiteral("%1:%2").arg(s / 60 % 60, s >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 3600 ? QString::number(s / 3600) + ':' + minutes_seconds : minutes_seconds;
}

constexpr int note_column = 2;

// The note's editor is named for a screen reader, which says it as it opens.
class NoteDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor)
            editor->setAccessibleName(ui("书签备注"));
        return editor;
    }
};

// "第36集 12:05", and the note.
QString spoken(const Bookmark& mark) {
    QString told = to_qstring(mark.label) + ' ' + time_text(mark.position);
    if (!mark.note.empty())
        told += ui("，") + to_qstring(mark.note);
    return told;
}

} // namespace

BookmarkView::BookmarkView(BookSession& session, Narration& narration, QWidget* beside,
                           QWidget* parent)
    : QWidget(parent), session_(session), narration_(narration) {
    setObjectName("bookmark_view");
    build(beside);
    bind();
    show_bookmarks();
}

void BookmarkView::build(QWidget* beside) {
    add_ = new QToolButton(this);
    add_->setText(ui("添加书签"));
    add_->setFocusPolicy(Qt::StrongFocus);
    add_->setObjectName(ui("添加书签"));
    add_->setAccessibleName(ui("添加书签"));
    add_->setToolTip(ui("在正在播放的位置添加书签 (B)"));
    auto* silence = new SilenceSwitch(session_.listening_control(), this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(ui("书签"));
    list_->setAccessibleName(ui("书签"));
    list_->setHeaderLabels({ui("集"), ui("时间"), ui("备注")});
    list_->setRootIsDecorated(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers); // F2 edits the note alone
    list_->setItemDelegate(new NoteDelegate(list_));
    read_current_item_on_focus(list_);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->header()->setStretchLastSection(true);
    list_->setFixedHeight(list_->fontMetrics().height() * 6);
    list_->installEventFilter(this);
    list_->hide(); // until the book shown has a bookmark
    // One line for the button and the silence switch, after `beside`, whose
    // text gives way to them. The list is laid out by the window (list()).
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto* line = new QHBoxLayout;
    line->setSpacing(3);
    if (beside) {
        beside->setParent(this);
        beside->setMinimumWidth(1);
        line->addWidget(beside, 1);
    } else {
        line->addStretch(1);
    }
    line->addWidget(add_);
    line->addWidget(silence);
    layout->addLayout(line);
}

void BookmarkView::bind() {
    connect(add_, &QToolButton::clicked, this, [this] { add(); });
    // Nothing to mark until an episode is open in the player.
    Player& player = session_.listening_control().player();
    const auto follow_player = [this, &player] { add_->setEnabled(!player.URL().empty()); };
    connect(&player, &Player::OpenStateChange, this, follow_player);
    follow_player();
    QWidget* window = parentWidget() ? parentWidget() : this;
    connect(new QShortcut(QKeySequence(Qt::Key_B), window), &QShortcut::activated, this,
            [this] { add(); });
    connect(&session_, &BookSession::bookmarksChanged, this, [this] { show_bookmarks(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { play(row(item)); });
    connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == note_column)
            session_.rename_bookmark(std::size_t(row(item)), from_qstring(item->text(column)));
    });
    connect(list_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        editing_ = false;
        if (std::exchange(refresh_waits_, false))
            show_bookmarks();
    });
    connect(list_, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menu(at); });
}

int BookmarkView::row(QTreeWidgetItem* item) const {
    return item ? list_->indexOfTopLevelItem(item) : -1;
}

void BookmarkView::show_bookmarks() {
    if (editing_) {
        refresh_waits_ = true; // what is typed is not thrown away
        return;
    }
    // The user's current bookmark stays current, wherever the change put it.
    const int row = list_->currentIndex().row();
    const std::optional<Bookmark> current =
        row >= 0 && row < int(shown_.size()) ? std::optional(shown_[std::size_t(row)]) : std::nullopt;
    const QSignalBlocker quiet(list_);
    list_->clear();
    const std::vector<Bookmark> marks = session_.bookmarks();
    shown_ = marks;
    list_->setVisible(!marks.empty());
    for (const Bookmark& mark : marks) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, to_qstring(mark.label) + (mark.automatic ? ui("（跳转前）") : QString()));
        item->setText(1, time_text(mark.position));
        item->setText(note_column, to_qstring(mark.note));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    if (!current)
        return;
    const auto found = std::find(marks.begin(), marks.end(), *current);
    const int now = found != marks.end() ? int(found - marks.begin()) : row;
    if (now < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(now));
}

// The new bookmark is the last of the list; its note opens for typing while
// the episode plays on. A bookmark of a book not shown is only said.
void BookmarkView::add() {
    const std::size_t before = shown_.size();
    if (!session_.add_bookmark()) {
        narration_.tell_bookmark_refused();
        return;
    }
    QTreeWidgetItem* last = list_->topLevelItem(list_->topLevelItemCount() - 1);
    if (shown_.size() <= before || !last) {
        narration_.tell_bookmark_added(QString(), false);
        return;
    }
    narration_.tell_bookmark_added(spoken(shown_.back()), true);
    list_->setCurrentItem(last);
    edit_note(last);
}

void BookmarkView::play(int row) {
    if (row < 0 || row >= int(shown_.size()))
        return;
    const Bookmark mark = shown_[std::size_t(row)];
    if (session_.play_bookmark(std::size_t(row)))
        narration_.tell_jump(spoken(mark));
}

void BookmarkView::edit_note(QTreeWidgetItem* item) {
    if (!item)
        return;
    list_->setFocus();
    editing_ = true;
    list_->editItem(item, note_column);
    // The editor takes the focus inside the list without a screen reader
    // being told; it is told here.
    if (QWidget* editor = QApplication::focusWidget(); editor && list_->isAncestorOf(editor)) {
        QAccessibleEvent focused(editor, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

void BookmarkView::menu(const QPoint& at) {
    QTreeWidgetItem* item = list_->itemAt(at);
    if (!item)
        return;
    const auto index = std::size_t(row(item));
    QMenu menu(this);
    menu.addAction(ui("播放"), this, [this, index] { play(int(index)); });
    menu.addAction(ui("重命名"), this, [this, item] { edit_note(item); });
    menu.addAction(ui("删除"), this, [this, index] { session_.remove_bookmark(index); });
    menu.exec(list_->viewport()->mapToGlobal(at));
}

bool BookmarkView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        emit listShownOrHidden();
    if (watched == list_ && event->type() == QEvent::KeyPress && !editing_) {
        QTreeWidgetItem* item = list_->currentItem();
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            play(row(item));
            return true;
        case Qt::Key_F2:
            edit_note(item);
            return true;
        case Qt::Key_Delete:
            if (item)
                session_.remove_bookmark(std::size_t(row(item)));
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Another font: the line and the list take their new heights at once, so that
// the window follows them in the same turn as the rest of the strip.
void BookmarkView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        // A button keeps the size its text had under the old font until its
        // text changes.
        const QString caption = add_->text();
        add_->setText(QString());
        add_->setText(caption);
        list_->setFixedHeight(list_->fontMetrics().height() * 6);
        layout()->invalidate();
        layout()->activate();
        updateGeometry();
    }
}

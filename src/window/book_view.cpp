#include "window/book_view.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/accessible_controls.hpp"
#include "widgets/dialogs.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QStyleOptionFocusRect>
#include <QUrl>
#include <QCoreApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QStyle>
#include <QTreeView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <memory>

InformationLabel::InformationLabel(QWidget* parent) : QLabel(parent) {}

void InformationLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (hasFocus()) {
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect box = contentsRect();
    const QFontMetrics metrics(font());
    int y = box.top();
    cut_ = false;
    for (const QString& line : text().remove(QChar('\r')).split(QChar('\n'))) {
        if (line.isEmpty()) {
            y += metrics.lineSpacing() / 2;
            continue;
        }
        const QString shown = metrics.elidedText(line, Qt::ElideRight, box.width());
        cut_ = cut_ || shown != line || y + metrics.height() > box.bottom() + 1;
        painter.drawText(QRect(box.left(), y, box.width(), metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
        y += metrics.lineSpacing();
    }
}

bool InformationLabel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        if (cut_)
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(e);
}

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {}

void LinkLabel::show_link(const QString& target, const QString& caption) {
    target_ = target;
    caption_ = caption;
    setText(QString("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), caption.toHtmlEscaped()));
}

namespace {

// The information's text, its line breaks as a screen reader takes them.
QString information_text_of(const QLabel* label) {
    return label->text().remove(QChar('\r'));
}

class AccessibleInformation : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit AccessibleInformation(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    // Its name is the text (its caption when there is none); the caption is
    // its description.
    QString text(QAccessible::Text t) const override {
        const QString whole = content().simplified();
        if (t == QAccessible::Name)
            return whole.isEmpty() ? widget()->accessibleName() : whole;
        if (t == QAccessible::Description)
            return widget()->accessibleName();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // The text, read only.
    QString text(int start, int end) const override { return content().mid(start, end - start); }
    int characterCount() const override { return int(content().size()); }
    int cursorPosition() const override { return cursor_; }
    void setCursorPosition(int position) override {
        cursor_ = std::clamp(position, 0, characterCount());
    }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    // One run over the whole text: a screen reader stops reading where the
    // runs end.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    QString content() const { return information_text_of(static_cast<QLabel*>(widget())); }
    int cursor_ = 0;
};

class AccessibleLink : public QAccessibleWidget {
  public:
    explicit AccessibleLink(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        const auto* link = static_cast<LinkLabel*>(widget());
        if (t == QAccessible::Name)
            return link->caption();
        if (t == QAccessible::Value)
            return link->target();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            QDesktopServices::openUrl(QUrl(static_cast<LinkLabel*>(widget())->target()));
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* window_roles(const QString& key, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (key == QLatin1String("MainWindow"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (key == QLatin1String("InformationLabel"))
        return new AccessibleInformation(static_cast<QLabel*>(widget));
    if (key == QLatin1String("LinkLabel"))
        return new AccessibleLink(static_cast<LinkLabel*>(widget));
    return nullptr;
}

} // namespace

void install_window_roles() {
    install_accessible_controls();
    static const bool installed = (QAccessible::installFactory(window_roles), true);
    (void)installed;
}

namespace {

class KeysGoOn : public QObject {
  public:
    KeysGoOn(QMessageBox* box, QWidget* typing_into) : box_(box), to_(typing_into) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~KeysGoOn() override { QCoreApplication::instance()->removeEventFilter(this); }
    KeysGoOn(const KeysGoOn&) = delete;
    KeysGoOn& operator=(const KeysGoOn&) = delete;

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !to_ || !receiver->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(receiver);
        if (widget != box_ && !box_->isAncestorOf(widget))
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint();
        if (!typed && key->key() != Qt::Key_Backspace && key->key() != Qt::Key_Delete)
            return false; // Enter, Escape, Space and the rest close the box as usual
        QCoreApplication::postEvent(to_, key->clone());
        box_->done(QMessageBox::Ok);
        return true;
    }

  private:
    QMessageBox* box_;
    QPointer<QWidget> to_;
};

} // namespace

void show_load_failure(QWidget* parent, const Text& message, const Text& reason,
                       QWidget* typing_into) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    // An empty title would have the window manager show the program's file
    // name, cut short.
    box.setWindowTitle(program_title());
    box.setTextFormat(Qt::PlainText);
    box.setText(to_qstring(message));
    box.setInformativeText(to_qstring(reason));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    fit_title(box);
    KeysGoOn keys_go_on(&box, typing_into);
    box.exec();
}

// A click moves a list's current row before it selects the row, while the
// keyboard selects first. The handler reads the selection, so it runs once the
// selection has followed: at the selection change that completes a click, or
// else right after the event that moved the current row. While `quiet` holds
// (the program moves the row itself) no handler runs. With `when_chosen_again`, a click or Enter on
// an item also runs it when the item already was the current one (once per
// click).
void on_row_chosen(QAbstractItemView* list, QObject* context, const bool& quiet,
                   std::function<void()> handler, bool when_chosen_again) {
    auto pending = std::make_shared<bool>(false);
    auto ran = std::make_shared<bool>(false); // during the event being handled
    auto call = [context, ran, handler] {
        handler();
        if (!*ran) {
            *ran = true;
            QTimer::singleShot(0, context, [ran] { *ran = false; });
        }
    };
    auto run = [&quiet, pending, call] {
        if (*pending && !quiet) {
            *pending = false;
            call();
        }
    };
    if (when_chosen_again) {
        auto chosen = [pending, ran, call] {
            if (*ran)
                return; // the click already moved the current row here
            *pending = false;
            call();
        };
        QObject::connect(list, &QAbstractItemView::pressed, context, chosen);
        QObject::connect(list, &QAbstractItemView::activated, context, chosen);
    }
    QItemSelectionModel* selection = list->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, context,
                     [context, &quiet, pending, run] {
                         if (quiet)
                             return;
                         *pending = true;
                         QTimer::singleShot(0, context, run);
                     });
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, context, run);
}

// The columns are 50, 300, 50 and 50 px wide, or as wide as their longest
// usual text needs in the list's font (a four-digit episode, a state); the
// address column takes what is left, so the state column stays in sight when
// the scroll bar shows and the address column gets the width a wider window adds.
void fit_episode_columns(QTreeView* episode_list) {
    QHeaderView* header = episode_list->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    const QFontMetrics metrics(episode_list->font());
    const int margins = 2 * (episode_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4);
    // A row's warning icon is no taller than its text, so every row keeps the
    // height of a row without one; the state cell has room for it.
    const int icon = std::max(8, metrics.height() - 4); // the style adds its margin around it
    episode_list->setIconSize(QSize(icon, icon));
    QString widest_state;
    for (const char* state : {"已暂停 100%", "已暂停 88888KB", "重试 8/8", "未下载", "未上线"})
        if (metrics.horizontalAdvance(to_qstring(gbk(state))) > metrics.horizontalAdvance(widest_state))
            widest_state = to_qstring(gbk(state));
    const int widest[] = {metrics.horizontalAdvance(to_qstring(gbk("第8888集"))), 0,
                          metrics.horizontalAdvance(QStringLiteral("88:88:88")),
                          metrics.horizontalAdvance(widest_state) + icon + margins / 2};
    for (int column = 0; column < 4; ++column) {
        const int needed = std::max(widest[column], header->sectionSizeHint(column) - margins) +
                           margins;
        episode_list->setColumnWidth(column, column == 1 ? 300 : std::max(50, needed));
    }
    header->setSectionResizeMode(1, QHeaderView::Stretch);
}

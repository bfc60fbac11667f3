#include "window/book_view.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/dialogs.hpp"

#include <QAbstractItemView>
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

void InformationLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
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
    box.setWindowTitle(QString());
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
    const QString widest[] = {to_qstring(gbk("第8888集")), QString(), to_qstring(gbk("88:88:88")), to_qstring(gbk("未下载"))};
    for (int column = 0; column < 4; ++column) {
        const int needed = std::max(metrics.horizontalAdvance(widest[column]),
                                    header->sectionSizeHint(column) - margins) +
                           margins;
        episode_list->setColumnWidth(column, column == 1 ? 300 : std::max(50, needed));
    }
    header->setSectionResizeMode(1, QHeaderView::Stretch);
}

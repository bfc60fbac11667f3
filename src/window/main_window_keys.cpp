// The main window for the keyboard and for a screen reader: every control has a
// name to say, Tab goes through the controls in the order they stand, Enter in a
// box runs the query, Ctrl+Q closes the window.
#include "window/main_window.hpp"

#include "window/address_box.hpp"

#include "playback/media_player.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/report_list.hpp"

#include <QAbstractSlider>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

QString say(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

void MainWindow::name_controls() {
    address_caption_->setBuddy(address_box_);
    start_caption_->setBuddy(start_box_);
    span_caption_->setBuddy(span_box_);
    // Their captions are empty until a book is loaded.
    start_box_->setAccessibleName(say("开始集数"));
    span_box_->setAccessibleName(say("跨度"));
    episode_list_->setAccessibleName(say("集数列表"));
    folder_list_->setAccessibleName(say("已下载的书"));
    cover_->setAccessibleName(say("封面"));
    logo_->setAccessibleName(say("网站标志"));
    information_->setAccessibleName(say("书籍信息"));
}

void MainWindow::bind_keys() {
    QWidget* order[] = {
        address_box_,
        site_link_,
        query_button_,
        start_box_,
        span_box_,
        player_->findChild<QToolButton*>("play_pause_button"),
        player_->findChild<QToolButton*>("stop_button"),
        player_->findChild<QAbstractSlider*>("seek_bar"),
        episode_list_,
        settings_button_,
        download_button_,
        folder_list_,
    };
    for (std::size_t i = 1; i < std::size(order); ++i)
        if (order[i - 1] && order[i])
            setTabOrder(order[i - 1], order[i]);
    address_box_->setFocus();

    // Enter in the address box loads the page now and then queries (main_window.cpp).
    for (QLineEdit* box : {start_box_, span_box_})
        connect(box, &QLineEdit::returnPressed, this, [this] { query(); });
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

// A click moves a list's current row before it selects the row, while the
// keyboard selects first. The handler reads the selection, so it runs once the
// selection has followed: at the selection change that completes a click, or
// else right after the event that moved the current row. Rows the session
// makes current run no handler. With `when_chosen_again`, a click or Enter on
// an item also runs it when the item already was the current one (once per
// click).
void MainWindow::on_row_chosen(QAbstractItemView* list, void (MainWindow::*handler)(),
                               bool when_chosen_again) {
    auto pending = std::make_shared<bool>(false);
    auto ran = std::make_shared<bool>(false); // during the event being handled
    auto call = [this, ran, handler] {
        (this->*handler)();
        if (!*ran) {
            *ran = true;
            QTimer::singleShot(0, this, [ran] { *ran = false; });
        }
    };
    auto run = [this, pending, call] {
        if (*pending && !showing_current_) {
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
        connect(list, &QAbstractItemView::pressed, this, chosen);
        connect(list, &QAbstractItemView::activated, this, chosen);
    }
    QItemSelectionModel* selection = list->selectionModel();
    connect(selection, &QItemSelectionModel::currentChanged, this, [this, pending, run] {
        if (showing_current_)
            return;
        *pending = true;
        QTimer::singleShot(0, this, run);
    });
    connect(selection, &QItemSelectionModel::selectionChanged, this, run);
}

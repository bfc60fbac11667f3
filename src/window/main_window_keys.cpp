// The main window for the keyboard and for a screen reader: every control has a
// name to say, Tab goes through the controls in the order they stand, Enter in a
// box runs the query, Ctrl+Q closes the window.
#include "window/main_window.hpp"

#include "widgets/run_progress_line.hpp"

#include "window/address_box.hpp"

#include "playback/media_player.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/report_list.hpp"
#include "window/book_view.hpp"

#include <QAbstractSlider>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace {

QString say(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

void MainWindow::name_controls() {
    address_caption_->setBuddy(address_box_);
    // The start box is named in words of its own (show_book adds the total):
    // a screen reader would say its caption, "开始：？/共N集", in their place.
    span_caption_->setBuddy(span_box_);
    // Their captions are empty until a book is loaded.
    start_box_->setAccessibleName(say("开始集数"));
    span_box_->setAccessibleName(say("跨度"));
    episode_list_->setAccessibleName(say("集数列表"));
    folder_list_->setAccessibleName(say("已下载的书"));
    cover_->setAccessibleName(say("封面"));
    logo_->setAccessibleName(say("网站标志"));
    information_->setAccessibleName(say("书籍信息"));
    // The information itself is the label's text, read as a read-only text
    // when Tab reaches it (book_view.cpp); a book that arrives is said once.
}

void MainWindow::bind_keys() {
    QWidget* order[] = {
        address_box_,
        load_status_, // while it has something to say
        information_,
        site_link_,
        query_button_,
        start_box_,
        span_box_,
        range_line_, // what the boxes list
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

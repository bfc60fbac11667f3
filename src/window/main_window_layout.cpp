// The main window's layout. Qt's box layouts place the controls; each control
// asks for its size on the form and grows to what its font needs
// (widgets/form_item.hpp). At the usual font the controls stand where the form
// draws them. A larger window gives its extra width to the episode list, the
// address box and the player (its seek bar), and its extra height to both lists; a smaller one (down to the
// smallest size) takes it from the lists. Rows added below the lists (the bottom
// strip) make the default size taller. The window's place is kept from one run
// to the next and always lies on the screen's free area.
#include "window/main_window.hpp"

#include "window/address_box.hpp"

#include "playback/media_player.hpp"
#include "settings/window_place.hpp"
#include "window/window_frame.hpp"
#include "widgets/form_item.hpp"
#include "widgets/report_list.hpp"
#include "window/book_view.hpp"
#include "widgets/run_progress_line.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

// Around the form: the address row starts 24 px down, the lists (or the strip
// below them) end 34 px above the bottom of the 593 x 674 window and 17 px from
// its right edge.
constexpr QMargins form_margins{8, 24, 17, 34};
constexpr int gap = 8;

QBoxLayout* row() {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(0);
    return layout;
}

QBoxLayout* column() {
    auto* layout = new QVBoxLayout;
    layout->setSpacing(0);
    return layout;
}

void add(QBoxLayout* layout, QWidget* control, QSize form, int growth = FormItem::Fixed,
         QSize smallest = {}) {
    layout->addItem(new FormItem(control, form, growth, smallest));
}

} // namespace

void MainWindow::lay_out_controls() {
    using F = FormItem;
    auto* form = column();
    form->setContentsMargins(form_margins);

    QBoxLayout* address_row = row();
    add(address_row, address_caption_, {32, 24});
    add(address_row, address_box_, {536, 24}, F::Wide, {160, 24});
    form->addLayout(address_row);
    form->addSpacing(gap);

    // The book: information and cover, then the link and the query button, the
    // logo and the range boxes, the player.
    QBoxLayout* link_row = row();
    link_row->addSpacing(16);
    add(link_row, site_link_, {224, 24});
    link_row->addSpacing(gap);
    add(link_row, query_button_, {64, 24});
    link_row->addStretch(1); // the player may be wider
    QBoxLayout* start_column = column();
    add(start_column, start_caption_, {96, 24});
    add(start_column, start_box_, {104, 24});
    QBoxLayout* span_column = column();
    add(span_column, span_caption_, {48, 24});
    add(span_column, span_box_, {48, 24});
    QBoxLayout* range_boxes = row();
    range_boxes->addLayout(start_column);
    range_boxes->addSpacing(2 * gap);
    range_boxes->addLayout(span_column);
    // Under the boxes, the line that says what they list; its room is always there.
    QBoxLayout* range_column = column();
    range_column->addLayout(range_boxes);
    range_column->addWidget(range_line_);
    QBoxLayout* range_row = row();
    add(range_row, logo_, {136, 48}, F::KeepsSize);
    range_row->addSpacing(gap);
    range_row->addLayout(range_column);
    range_row->addStretch(1); // when the link row is wider
    QBoxLayout* book_controls = column();
    book_controls->addLayout(link_row);
    book_controls->addSpacing(gap);
    book_controls->addLayout(range_row);
    add(book_controls, player_, {312, 45}, F::Wide);
    book_controls->addStretch(1);
    QBoxLayout* book_row = row();
    // Without a cover the information takes its room too.
    information_item_ = new FormItem(information_, {152 + 92, 136}, F::KeepsSize);
    book_row->addItem(information_item_);
    add(book_row, cover_, {92, 136}, F::KeepsSize);
    book_row->addSpacing(12);
    book_row->addLayout(book_controls, 1);
    form->addLayout(book_row);
    form->addSpacing(gap);

    // The lists take what the window has beyond its default size, and give it
    // up down to four rows each. The folder list takes the height the episode
    // list has beside it, less its buttons.
    QBoxLayout* folder_buttons = row();
    add(folder_buttons, settings_button_, {48, 24});
    folder_buttons->addSpacing(2 * gap);
    folder_buttons->addStretch(1);
    add(folder_buttons, download_button_, {40, 24});
    QBoxLayout* folder_column = column();
    folder_column->addLayout(folder_buttons);
    folder_column->addSpacing(gap);
    add(folder_column, folder_list_, {104, 96}, F::Tall);
    QBoxLayout* list_row = row();
    add(list_row, episode_list_, {456, 440}, F::Wide | F::Tall, {456, 128});
    list_row->setStretch(0, 1);
    list_row->addSpacing(gap);
    list_row->addLayout(folder_column);
    form->addLayout(list_row, 1);

    // Across the window, as wide as its rows need at least; 8 px below the lists.
    bottom_strip_ = new QWidget(this);
    bottom_strip_->setObjectName("bottom_strip");
    auto* rows = new QVBoxLayout(bottom_strip_);
    rows->setContentsMargins(0, gap, 0, 0);
    rows->setSpacing(4);
    bottom_strip_->hide();
    add(form, bottom_strip_, {568, 0}, F::Wide);
    setLayout(form);

    follow_default_size();
    // A window with no kept place opens centred on the screen's free area.
    if (const QScreen* on = screen())
        move(centred_place(size(), on->availableGeometry(), on->availableGeometry()));
}

// No cover: the information takes the cover's room and the cover hides.
// The information gives up its room before the cover takes it, so the row
// never asks for both at once (the window would widen for it).
void MainWindow::show_cover_room(bool shown) {
    if (shown) {
        information_item_->set_form({152, 136});
        cover_->show();
    } else {
        cover_->hide();
        information_item_->set_form({152 + 92, 136});
    }
    layout()->invalidate();
}

// The window follows a change of its default size (another font or style, a
// new row below the lists or the bookmark list at the bottom coming or going,
// the frame) by as much; nothing else (a text that arrives) changes its size. A size kept from the last run
// stays as it is (`keep_size`).
void MainWindow::follow_default_size(bool keep_size) {
    const QSize before = size(); // before a new smallest size widens it
    layout()->invalidate();
    layout()->activate(); // the new smallest size first, so the window may shrink
    const QSize now = default_size();
    if (laid_default_.isValid() && (keep_size || isMaximized() || isFullScreen())) {
        laid_default_ = now;
        return;
    }
    resize(laid_default_.isValid() ? before + (now - laid_default_) : now);
    laid_default_ = now;
    layout()->setGeometry(rect()); // a hidden window is told of no resize
    frame_->fit_to_screen();
}

// The controls have taken the new font before the window is told of it.
void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) &&
        laid_default_.isValid())
        follow_default_size();
}

void MainWindow::add_bottom_strip(QWidget* row) {
    bottom_strip_->layout()->addWidget(row);
    // A row added to a shown window would show only later, and count for
    // nothing in the strip's height until then; one hidden on purpose stays so.
    if (!(row->isHidden() && row->testAttribute(Qt::WA_WState_ExplicitShowHide)))
        row->show();
    bottom_strip_->show();
    follow_default_size();
}

QSize MainWindow::default_size() const {
    return layout()->sizeHint();
}

QSize MainWindow::smallest_size() const {
    return layout()->minimumSize();
}

// The frame, once known, comes off the room right of and below the form: the
// form's 593 x 674 counts it, and a window at its default size keeps its outer
// size.
void MainWindow::make_room_for_frame(QMargins frame, bool restored) {
    layout()->setContentsMargins(
        form_margins.left(), form_margins.top(),
        std::max(0, form_margins.right() - frame.left() - frame.right()),
        std::max(0, form_margins.bottom() - frame.top() - frame.bottom()));
    follow_default_size(restored);
}

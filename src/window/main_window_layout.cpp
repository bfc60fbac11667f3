// The main window's layout: the controls stand where the form puts them at the
// window's default size; a larger window gives its extra width to the episode
// list and its extra height to both lists, and a smaller one (down to the
// smallest size) takes it from the lists. Rows added below the lists (the
// bottom strip) make the default size taller, and so does a font larger than
// the form's: the controls of one line grow to what it needs and push the
// controls below them down. The window's place is kept from one run to the next.
#include "window/main_window.hpp"

#include "window/address_box.hpp"

#include "playback/media_player.hpp"
#include "settings/window_place.hpp"
#include "widgets/report_list.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// The window's default outer size, frame included, and where it first opens.
constexpr QSize outer_default{593, 674};
constexpr QPoint start_position{50, 50};
// How much height the lists give up at the smallest size: the folder list keeps
// 96 px (four items), the episode list 128 px (its header and four rows).
constexpr int list_shrink = 312;
// The bottom strip's place at the default size without a strip: below the
// lists, across the window.
constexpr QRect strip_place{8, 648, 568, 0};
constexpr int strip_gap = 8;

} // namespace

void MainWindow::anchor_controls() {
    using A = AnchoredPlacement;
    const struct {
        QWidget* control;
        int anchors;
    } controls[] = {
        {download_button_, A::MoveRight | A::FollowsFont},
        {folder_list_, A::MoveRight | A::StretchDown},
        {span_box_, A::FollowsFont},
        {start_box_, A::FollowsFont},
        {span_caption_, A::FollowsFont},
        {start_caption_, A::FollowsFont},
        {player_, A::FollowsFont},
        {logo_, A::Fixed},
        {settings_button_, A::MoveRight | A::FollowsFont},
        {cover_, A::Fixed},
        {information_, A::Fixed},
        {site_link_, A::FollowsFont},
        {address_caption_, A::FollowsFont},
        {episode_list_, A::StretchRight | A::StretchDown},
        {query_button_, A::FollowsFont},
        {address_box_, A::StretchRight | A::FollowsFont},
    };
    for (const auto& c : controls)
        placement_.add(c.control, c.control->geometry(), c.anchors);

    bottom_strip_ = new QWidget(this);
    bottom_strip_->setObjectName("bottom_strip");
    auto* rows = new QVBoxLayout(bottom_strip_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    bottom_strip_->hide();
    bottom_strip_->installEventFilter(this);

    font_extra_ = placement_.font_extra();
    laid_extra_ = QSize(0, font_extra_);
    resize(default_size());
    setMinimumSize(smallest_size());
    move(start_position);
    place_controls();
}

// Another font or style, or a row of the strip that grew or shrank, changes the
// default size: the window grows or shrinks by as much, and the controls take
// their new places.
void MainWindow::follow_default_size() {
    font_extra_ = placement_.font_extra();
    const QSize extra = default_size() - outer_default + frame_;
    const QSize target = size() + (extra - laid_extra_); // before a new minimum widens it
    setMinimumSize(smallest_size());
    if (extra != laid_extra_ && !isMaximized() && !isFullScreen())
        resize(target);
    laid_extra_ = extra;
    place_controls();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        follow_default_size();
}

bool MainWindow::eventFilter(QObject* receiver, QEvent* event) {
    if (receiver == bottom_strip_ && event->type() == QEvent::LayoutRequest)
        follow_default_size();
    return QWidget::eventFilter(receiver, event);
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

int MainWindow::strip_height() const {
    if (!bottom_strip_ || bottom_strip_->layout()->count() == 0)
        return 0;
    return bottom_strip_->layout()->sizeHint().height() + strip_gap;
}

// What the width of the strip's rows needs beyond the form's width: a larger
// font widens the listening bar's controls.
int MainWindow::strip_width_need() const {
    if (!bottom_strip_ || bottom_strip_->layout()->count() == 0)
        return 0;
    return std::max(0, bottom_strip_->layout()->minimumSize().width() - strip_place.width());
}

// The form at the window's font and with its strip: where the controls stand
// before the window grows.
QSize MainWindow::form_size() const {
    return outer_default - frame_ + QSize(0, font_extra_ + strip_height());
}

QSize MainWindow::default_size() const {
    return form_size() + QSize(strip_width_need(), 0);
}

QSize MainWindow::smallest_size() const {
    return default_size() - QSize(0, list_shrink);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place_controls();
}

void MainWindow::place_controls() {
    const QSize growth = size() - form_size();
    placement_.place(growth);
    if (const int height = strip_height(); height > 0) {
        QRect strip = strip_place.translated(0, font_extra_);
        strip.setHeight(height - strip_gap);
        bottom_strip_->setGeometry(AnchoredPlacement::placed(
            strip, AnchoredPlacement::MoveDown | AnchoredPlacement::StretchRight, growth));
    }
}

// A window manager adds its frame around the inside; the frame is known only
// once the window is on screen. The default size counts the frame, so a window
// opened at its default size is fitted to it then.
void MainWindow::learn_frame() {
    if (!isVisible() || isMaximized() || isFullScreen())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame == frame_ || frame.width() < 0 || frame.height() < 0)
        return;
    const QSize old_frame = frame_;
    frame_ = frame;
    frame_offset_ = geometry().topLeft() - frameGeometry().topLeft();
    setMinimumSize(smallest_size());
    // A window opened at its default size is fitted to the frame; a restored
    // one takes its kept size again, which a minimum counted without the frame
    // may have widened.
    if (!restored_)
        resize(size() - (frame - old_frame));
    else if (restored_size_.isValid())
        resize(std::exchange(restored_size_, QSize()).expandedTo(minimumSize()));
    place_controls();
    fit_to_screen();
}

// A window larger than its screen's free area (a small screen, a large scale
// factor) is made smaller, down to its smallest size, and moved onto it.
void MainWindow::fit_to_screen() {
    const QScreen* on = screen();
    if (!on || isMaximized() || isFullScreen())
        return;
    const QRect free = on->availableGeometry();
    const QSize outer = (size() + frame_).boundedTo(free.size());
    const QSize inside = (outer - frame_).expandedTo(minimumSize());
    if (inside != size())
        resize(inside);
    const QRect frame = frameGeometry();
    const QPoint at(std::clamp(frame.x(), free.left(), std::max(free.left(), free.right() + 1 - frame.width())),
                    std::clamp(frame.y(), free.top(), std::max(free.top(), free.bottom() + 1 - frame.height())));
    if (at != frame.topLeft())
        move(at);
}

void MainWindow::restore_place() {
    const std::optional<WindowPlace> place = read_window_place(window_place_file());
    if (!place)
        return;
    restored_ = true;
    restored_size_ = QSize(place->width, place->height);
    move(place->x, place->y);
    resize(restored_size_.expandedTo(minimumSize()));
    if (place->maximised)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::save_place() const {
    const bool maximised = isMaximized();
    QRect normal = maximised ? normalGeometry() : geometry();
    if (!normal.isValid())
        normal = QRect(geometry().topLeft(), size());
    normal.moveTopLeft(normal.topLeft() - frame_offset_);
    write_window_place(window_place_file(),
                       {normal.x(), normal.y(), normal.width(), normal.height(), maximised});
}

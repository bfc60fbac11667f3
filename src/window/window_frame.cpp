#include "window/window_frame.hpp"

#include "settings/window_place.hpp"

#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

WindowFrame::WindowFrame(QWidget& window, std::function<void(QMargins, bool)> frame_known)
    : window_(window), frame_known_(std::move(frame_known)) {}

QMargins WindowFrame::frame_margins() const {
    const QWindow* handle = window_.windowHandle();
    return handle && window_.isVisible() ? handle->frameMargins() : QMargins();
}

// A window larger than its screen's free area (a small screen, a large font or
// scale factor) is made smaller, down to its smallest size, and the whole of
// it, frame included, is moved onto that area.
void WindowFrame::fit_to_screen() {
    const QScreen* on = window_.screen();
    if (!on || window_.isMaximized() || window_.isFullScreen())
        return;
    const QRect free = on->availableGeometry();
    const QMargins frame = frame_margins();
    const QSize around(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize inside = (window_.size() + around).boundedTo(free.size()) - around;
    if (inside.expandedTo(window_.minimumSize()) != window_.size())
        window_.resize(inside.expandedTo(window_.minimumSize()));
    const QSize outer = window_.size() + around;
    const QPoint pos = window_.pos();
    const QPoint at(std::clamp(pos.x(), free.left(), std::max(free.left(), free.right() + 1 - outer.width())),
                    std::clamp(pos.y(), free.top(), std::max(free.top(), free.bottom() + 1 - outer.height())));
    if (at != pos)
        window_.move(at);
}

// The frame becomes known once the window is on screen, and may change with the
// window manager's theme; the window is fitted to the screen again then.
void WindowFrame::follow_frame() {
    const QMargins frame = frame_margins();
    if (frame == known_frame_ || window_.isMaximized() || window_.isFullScreen())
        return;
    known_frame_ = frame;
    frame_known_(frame, restored_);
    // The kept size, which a smallest size counted without the frame may have
    // widened (unless the window was resized since).
    const QSize kept = std::exchange(restored_size_, QSize());
    if (kept.isValid() && window_.size() == restored_as_)
        window_.resize(kept.expandedTo(window_.minimumSize()));
    fit_to_screen();
}

// The kept place: the frame's top left corner and the inside's size.
void WindowFrame::restore_place() {
    const std::optional<WindowPlace> place = read_window_place(window_place_file());
    if (!place)
        return;
    restored_ = true;
    restored_size_ = QSize(place->width, place->height);
    window_.move(place->x, place->y);
    window_.resize(restored_size_.expandedTo(window_.minimumSize()));
    restored_as_ = window_.size();
    if (place->maximised)
        window_.setWindowState(window_.windowState() | Qt::WindowMaximized);
}

void WindowFrame::save_place() const {
    const bool maximised = window_.isMaximized();
    QRect normal(window_.pos(), window_.size());
    if (maximised && window_.normalGeometry().isValid()) {
        const QMargins frame = frame_margins();
        normal = window_.normalGeometry().translated(-frame.left(), -frame.top());
    }
    write_window_place(window_place_file(),
                       {normal.x(), normal.y(), normal.width(), normal.height(), maximised});
}

#pragma once
// A window's place on the desktop: its kept place comes back, it always lies on
// the screen's free area, frame included, and it follows the window manager's
// frame once that is known.
#include <QMargins>
#include <QSize>

#include <functional>

class QWidget;

class WindowFrame {
  public:
    // `frame_known` is told of a new frame, and whether the size came from the
    // last run (so the window keeps it).
    WindowFrame(QWidget& window, std::function<void(QMargins frame, bool restored)> frame_known);

    // What the window manager's frame adds on each side; nothing before the
    // window is on screen.
    QMargins frame_margins() const;
    void fit_to_screen();
    void follow_frame();
    void restore_place();
    void save_place() const;

  private:
    QWidget& window_;
    std::function<void(QMargins, bool)> frame_known_;
    QMargins known_frame_; // the window manager's frame, once known
    bool restored_ = false; // the size and place came from the last run
    QSize restored_size_;   // the size kept, until the frame is known
    QSize restored_as_;     // the size the window took for it
};

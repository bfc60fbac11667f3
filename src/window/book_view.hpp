#pragma once
// Pieces of the window that show a book: its information label, the site link,
// the box that says why a page did not load, and how the lists tell a row the
// user chose.
#include "text/text.hpp"

#include <QLabel>

#include <functional>

class BookSession;
class QAbstractItemView;
class QListWidget;
class QTreeView;

// The book information label. Its text keeps the page's line breaks as they
// are; it is drawn with an empty line taking half a line's height, so the whole
// block fits its box in a usual font. A line too long for the box is cut short
// with "…", so the lines after it keep their places; when anything is cut, the
// whole text shows as the label's tooltip.
class InformationLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

  private:
    bool cut_ = false;
};

// The site link. With a single link in it, Tab and Shift+Tab go on to the next
// or previous control instead of looking for another link in the label.
class LinkLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

// A modal box saying why a page did not load, with the reason on a second line.
// Keys typed while it is up are not the box's: the first closes it and goes,
// with the ones after it, to `typing_into` (when not null).
void show_load_failure(QWidget* parent, const Text& message, const Text& reason,
                       QWidget* typing_into);

// Runs `handler` when the user chooses a row of `list` (see book_view.cpp),
// for as long as `context` lives.
void on_row_chosen(QAbstractItemView* list, QObject* context, const bool& quiet,
                   std::function<void()> handler, bool when_chosen_again);

// The episode list's columns fitted to its font (see book_view.cpp).
void fit_episode_columns(QTreeView* episode_list);

#pragma once
// The line below the lists: the download run's line, or, while it has something
// to say, how a page load the user did not ask for with Enter or the query
// button went. One stands in the other's place, so neither moves anything; a
// long text is cut at the window's edge and said whole in its tooltip.
#include "text/text.hpp"

#include <QWidget>

class QLabel;
class QStackedLayout;
class QTimer;
class RunProgressLine;

class StatusLines : public QWidget {
    Q_OBJECT
  public:
    StatusLines(RunProgressLine* run_line, QWidget* parent);

    QLabel* load_status() const { return load_status_; }
    // A load began: a quick one says nothing, a slower one that it is under way.
    void load_started();
    // The load ended (or its address no longer stands): the run line again.
    void load_ended();
    // A load failed; an empty address box says nothing, there was nothing to load.
    void show_failure(bool box_empty, const Text& message, const Text& reason);
    // Another long work's progress, in the same place (empty: the run line again).
    void show_status(const QString& status);

  private:

    RunProgressLine* run_line_;
    QLabel* load_status_;
    QStackedLayout* lines_;
    QTimer* loading_shown_later_;
};

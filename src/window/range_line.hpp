#pragma once
// The line under the start and span boxes that says, as the user types, which
// episodes 查询 will list ("将列出第36集–第45集"). It keeps its one line of
// room, so the controls around it never move.
#include "widgets/run_progress_line.hpp"

class QLineEdit;

class RangeLine : public RunProgressLine {
  public:
    RangeLine(const QLineEdit* start_box, const QLineEdit* span_box, QWidget* parent = nullptr);

  private:
    void show_range();

    const QLineEdit* start_box_;
    const QLineEdit* span_box_;
};

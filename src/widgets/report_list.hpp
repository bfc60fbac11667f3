#pragma once
// The report-style list control: a flat QTreeWidget whose cells keep their laid
// out texts between paints, and whose pending layout can be done on demand, so
// that an immediate repaint of a list that just grew paints it once.
#include <QTreeWidget>

// No Q_OBJECT: to the rest of the program it is the QTreeWidget it extends.
class ReportList : public QTreeWidget {
  public:
    explicit ReportList(QWidget* parent = nullptr);

    // Lays the rows out now if rows were added or removed since the last layout;
    // nothing otherwise.
    void settle_layout();
};

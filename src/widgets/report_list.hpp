#pragma once
// The report-style list control: a flat tree view of a table model whose cells
// keep their laid out texts between paints, and whose pending layout can be done
// on demand, so that an immediate repaint of a list that just grew paints it once.
// To a screen reader, its current row is focused only while the list has the
// keyboard focus: a row the program makes current elsewhere does not draw the
// reader to the list, and coming into the list says the list and its current row.
#include <QTreeView>

// No Q_OBJECT: to the rest of the program it is the QTreeView it extends.
class ReportList : public QTreeView {
  public:
    explicit ReportList(QWidget* parent = nullptr);

    // Shows `model` with `selection` as its selection (shared with whoever else
    // reads or moves it), replacing the selection model the view made itself.
    void show_model(QAbstractItemModel* model, QItemSelectionModel* selection);

    // Lays the rows out now if rows were added or removed since the last layout;
    // nothing otherwise.
    void settle_layout();

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
};

#include "widgets/report_list.hpp"

#include "widgets/cached_text_delegate.hpp"

#include <QFocusEvent>
#include <QTimer>

ReportList::ReportList(QWidget* parent) : QTreeView(parent) {
    setItemDelegate(new CachedTextDelegate(this));
}

void ReportList::show_model(QAbstractItemModel* model, QItemSelectionModel* selection) {
    QItemSelectionModel* own = selectionModel();
    setModel(model);
    QItemSelectionModel* made = selectionModel();
    setSelectionModel(selection);
    if (made != own)
        delete made;
}

void ReportList::settle_layout() {
    executeDelayedItemsLayout();
}

// Qt's tree view tells a screen reader that the new current row has the focus,
// with the list's focus or not.
void ReportList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (hasFocus()) {
        QTreeView::currentChanged(current, previous);
        return;
    }
    QAbstractItemView::currentChanged(current, previous);
    viewport()->update();
}

// The list takes the focus: its current row (the first, when none is) is
// focused for a screen reader as well, once the list itself was told focused.
void ReportList::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    if (event->reason() == Qt::MouseFocusReason)
        return; // the click makes its own row current
    QTimer::singleShot(0, this, [this] {
        if (!hasFocus() || !model() || model()->rowCount() == 0)
            return;
        if (!currentIndex().isValid())
            selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                        QItemSelectionModel::Rows);
        else
            QTreeView::currentChanged(currentIndex(), currentIndex());
    });
}

#include "widgets/report_list.hpp"

#include "widgets/cached_text_delegate.hpp"

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

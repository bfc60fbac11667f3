#include "widgets/report_list.hpp"

#include "widgets/cached_text_delegate.hpp"

ReportList::ReportList(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new CachedTextDelegate(this));
}

void ReportList::settle_layout() {
    executeDelayedItemsLayout();
}

#include "platform/report_list.hpp"

#include "platform/cached_text_delegate.hpp"

ReportList::ReportList(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new CachedTextDelegate(this));
}

void ReportList::settle_layout() {
    executeDelayedItemsLayout();
}

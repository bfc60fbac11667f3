#include "window/range_line.hpp"

#include "session/query_range.hpp"
#include "text/qt_text.hpp"

#include <QLineEdit>

RangeLine::RangeLine(const QLineEdit* start_box, const QLineEdit* span_box, QWidget* parent)
    : RunProgressLine(parent), start_box_(start_box), span_box_(span_box) {
    setObjectName(QStringLiteral("range_line"));
    setAccessibleName(QStringLiteral("查询范围"));
    for (const QLineEdit* box : {start_box, span_box})
        connect(box, &QLineEdit::textChanged, this, [this] { show_range(); });
    show_range();
}

void RangeLine::show_range() {
    show_line(to_qstring(query_range_text(from_qstring(start_box_->text()),
                                          from_qstring(span_box_->text()))));
}

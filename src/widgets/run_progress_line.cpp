#include "widgets/run_progress_line.hpp"

RunProgressLine::RunProgressLine(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QString::fromUtf8("下载进度"));
}

void RunProgressLine::show_line(const QString& line) {
    if (line == line_)
        return;
    line_ = line;
    setToolTip(line);
    setAccessibleDescription(line);
    fit();
}

void RunProgressLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void RunProgressLine::fit() {
    setText(fontMetrics().elidedText(line_, Qt::ElideRight, contentsRect().width()));
}

QSize RunProgressLine::minimumSizeHint() const {
    const QMargins around = contentsMargins();
    return {0, fontMetrics().height() + around.top() + around.bottom() + 2 * frameWidth()};
}

QSize RunProgressLine::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 20, minimumSizeHint().height()};
}

#include "window/status_lines.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/run_progress_line.hpp"

#include <QLabel>
#include <QStackedLayout>
#include <QTimer>

namespace {

// How long a load may take before the line says it is under way.
constexpr int quick_load_ms = 400;

} // namespace

StatusLines::StatusLines(RunProgressLine* run_line, QWidget* parent)
    : QWidget(parent), run_line_(run_line), load_status_(new QLabel(this)),
      lines_(new QStackedLayout(this)), loading_shown_later_(new QTimer(this)) {
    load_status_->setObjectName(QStringLiteral("load_status"));
    load_status_->setTextFormat(Qt::PlainText);
    load_status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    load_status_->setFocusPolicy(Qt::TabFocus); // so a screen reader can come back to it
    load_status_->setAccessibleName(to_qstring(gbk("载入状态")));
    lines_->setContentsMargins(0, 0, 0, 0);
    lines_->addWidget(run_line_);
    lines_->addWidget(load_status_);
    loading_shown_later_->setSingleShot(true);
    loading_shown_later_->setInterval(quick_load_ms);
    connect(loading_shown_later_, &QTimer::timeout, this,
            [this] { show_status(to_qstring(gbk("正在载入书页…"))); });
}

void StatusLines::load_started() {
    loading_shown_later_->start();
}

void StatusLines::load_ended() {
    loading_shown_later_->stop();
    show_status({});
}

void StatusLines::show_failure(bool box_empty, const Text& message, const Text& reason) {
    loading_shown_later_->stop();
    show_status(box_empty ? QString() : to_qstring(message) + QStringLiteral(" ") + to_qstring(reason));
}

void StatusLines::show_status(const QString& status) {
    load_status_->setText(status);
    load_status_->setToolTip(status);
    load_status_->setAccessibleDescription(status);
    lines_->setCurrentWidget(status.isEmpty() ? static_cast<QWidget*>(run_line_) : load_status_);
}

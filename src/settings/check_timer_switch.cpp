#include "settings/check_timer_switch.hpp"

#include "check_timer/check_timer.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QLabel>

CheckTimerSwitch::CheckTimerSwitch(QWidget* parent)
    : QCheckBox(to_qstring(gbk("后台追更")), parent), hint_(new QLabel(parent)) {
    hint_->setObjectName(QString::fromUtf8("后台追更说明"));
    hint_->setTextFormat(Qt::PlainText);
    hint_->setWordWrap(true);
    read_state();
}

void CheckTimerSwitch::read_state() {
    const CheckTimerStatus status = read_check_timer();
    const bool available = status.state != CheckTimerStatus::unavailable;
    on_ = status.state == CheckTimerStatus::on;
    setChecked(on_);
    setEnabled(available);
    // A quieter, explaining line while the switch works; else it says why it
    // does not, and Tab reaches it in place of the disabled switch.
    hint_->setEnabled(!available);
    hint_->setFocusPolicy(available ? Qt::NoFocus : Qt::TabFocus);
    say(available ? to_qstring(gbk("窗口关闭时也每三小时检查追更的书，并下载新集。"))
                  : to_qstring(status.reason));
}

void CheckTimerSwitch::say(const QString& text) {
    hint_->setText(text);
    setToolTip(text);
    setAccessibleDescription(text);
}

Text CheckTimerSwitch::apply() {
    if (!isEnabled() || isChecked() == on_)
        return {};
    const Text problem = switch_check_timer(isChecked());
    read_state();
    return problem;
}

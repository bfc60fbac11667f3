#include "settings/feed_settings_group.hpp"

#include "settings/config_file.hpp"
#include "settings/feed_settings.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

namespace {

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

FeedSettingsGroup::FeedSettingsGroup(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("局域网收听分组"));
    auto* fields = new QGridLayout(this);
    switch_box_ = new QCheckBox(ui("局域网收听"), this);
    switch_box_->setObjectName(QStringLiteral("局域网收听"));
    switch_box_->setToolTip(ui("让同一局域网里的手机用播客应用订阅每本书"));
    switch_box_->setAccessibleDescription(switch_box_->toolTip());
    fields->addWidget(switch_box_, 0, 0, 1, 3);

    port_box_ = new QSpinBox(this);
    port_box_->setObjectName(QStringLiteral("收听端口"));
    port_box_->setRange(1024, 65535);
    port_box_->setAccessibleName(ui("收听端口"));
    auto* port_caption = new QLabel(ui("收听端口："), this);
    port_caption->setBuddy(port_box_);
    fields->addWidget(port_caption, 1, 0);
    fields->addWidget(port_box_, 1, 1, Qt::AlignLeft);

    renew_button_ = new QPushButton(ui("更换收听地址"), this);
    renew_button_->setObjectName(QStringLiteral("更换收听地址"));
    renew_button_->setAutoDefault(false);
    renew_button_->setAccessibleDescription(ui("换一个新令牌，旧的收听地址从此不能再用"));
    fields->addWidget(renew_button_, 1, 2, Qt::AlignRight);
    // Its room is kept, so that nothing moves when it shows.
    renewed_ = new QLabel(QStringLiteral(" "), this);
    renewed_->setObjectName(QStringLiteral("收听地址已更换"));
    fields->addWidget(renewed_, 2, 0, 1, 3);

    switch_box_->setChecked(feeds_switched_on());
    port_box_->setValue(std::max(1024, feeds_port()));
    connect(renew_button_, &QPushButton::clicked, this, &FeedSettingsGroup::renew_token);
}

void FeedSettingsGroup::renew_token() {
    const bool renewed = !renew_feed_token().empty();
    renewed_->setText(ui(renewed ? "已更换：旧的收听地址不能再用了。" : "无法保存新的收听地址。"));
    renew_button_->setAccessibleDescription(renewed_->text());
}

bool FeedSettingsGroup::save() const {
    bool saved = true;
    if (switch_box_->isChecked() != feeds_switched_on())
        saved = write_setting(gbk("局域网收听"), flag_text(switch_box_->isChecked())) && saved;
    if (port_box_->value() != feeds_port())
        saved = write_setting(gbk("收听端口"), number_to_text(port_box_->value())) && saved;
    return saved;
}

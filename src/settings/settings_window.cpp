#include "settings/settings_window.hpp"

#include "settings/check_timer_switch.hpp"
#include "settings/config_file.hpp"
#include "settings/feed_settings_group.hpp"
#include "settings/save_folder.hpp"
#include "settings/settings_checks.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/dialogs.hpp"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>

#include <utility>
#include <vector>

namespace {

// The window's own icon: a gear on a blue tile, 32 x 32 with an alpha channel.
QIcon settings_icon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(38, 110, 190));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    gear.addEllipse(QPointF(16, 16), 8.5, 8.5);
    for (int tooth = 0; tooth < 8; ++tooth) {
        QTransform turn;
        turn.translate(16, 16);
        turn.rotate(tooth * 45.0);
        QPainterPath t;
        t.addRect(QRectF(-2.5, -12.5, 5, 6));
        gear.addPath(turn.map(t));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(16, 16), 3.5, 3.5);
    painter.setBrush(Qt::white);
    painter.drawPath(gear.subtracted(hole));
    painter.end();
    return QIcon(pixmap);
}

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

template <typename Control> Control* named(Control* control, const char* name) {
    control->setObjectName(QString::fromUtf8(name));
    return control;
}

QLabel* caption(QWidget* parent, const char* name, const char* text, QWidget* buddy) {
    auto* label = named(new QLabel(ui(text), parent), name);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

// A bad field is marked in the colours of a warning, and says what is wrong.
void mark(QLineEdit* box, const Text& problem) {
    const bool bad = !problem.empty();
    // A good box says its hint, if it has one; a bad one what is wrong.
    const QString description = bad ? to_qstring(problem) : box->property("hint").toString();
    if (box->property("bad").toBool() == bad && box->accessibleDescription() == description)
        return;
    box->setProperty("bad", bad);
    QPalette colours = box->parentWidget()->palette();
    if (bad) {
        colours.setColor(QPalette::Base, QColor(255, 228, 228));
        colours.setColor(QPalette::Text, QColor(120, 0, 0));
    }
    box->setPalette(colours);
    box->setAccessibleDescription(description);
}

// The text of a single-line box as one line: a pasted line break would
// otherwise split the value over two lines of the file.
Text one_line(const QLineEdit* box) {
    Text text = from_qstring(box->text());
    text = replace_all(text, "\r", "");
    return replace_all(text, "\n", "");
}

} // namespace

SettingsWindow::SettingsWindow(QWidget* parent) : QDialog(parent) {
    // Titled as the button that opens it.
    setWindowTitle(ui("配置"));
    setWindowIcon(settings_icon());
    setCursor(Qt::PointingHandCursor);
    setModal(true);
    build();
    bind_checks();
    // Qt centres a dialog over the window it belongs to, on the screen.
    on_settings_window_created();
}

// One form: the save folder, the range a query lists, the renaming, how many
// episodes download at once, the Media host; what is wrong; the save button.
void SettingsWindow::build() {
    auto* group = named(new QGroupBox(this), "分组框1");
    auto* fields = new QGridLayout(group);
    fields->setColumnStretch(1, 1);

    save_folder_box_ = named(new QLineEdit(group), "编辑框1");
    save_folder_box_->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    choose_button_ = named(new QPushButton(ui("选择"), group), "按钮1");
    fields->addWidget(caption(group, "标签1", "下载保存路径：", save_folder_box_), 0, 0, 1, 3);
    fields->addWidget(save_folder_box_, 1, 0, 1, 2);
    fields->addWidget(choose_button_, 1, 2);
    auto* folder_hint = named(new QLabel(ui("空白时存到音乐文件夹里的“有声书”文件夹。"), group),
                              "标签2");
    folder_hint->setWordWrap(true);
    folder_hint->setEnabled(false); // a quieter, explaining line
    // A screen reader says the hint with the box.
    save_folder_box_->setProperty("hint", folder_hint->text());
    save_folder_box_->setAccessibleDescription(folder_hint->text());
    fields->addWidget(folder_hint, 2, 0, 1, 3);

    start_episode_box_ = named(new QLineEdit(group), "编辑框3");
    fields->addWidget(caption(group, "标签3", "显示与下载开始集数：", start_episode_box_), 3, 0);
    fields->addWidget(start_episode_box_, 3, 1, 1, 2);
    episode_count_box_ = named(new QLineEdit(group), "编辑框4");
    fields->addWidget(caption(group, "标签4", "默认显示集数：", episode_count_box_), 4, 0);
    fields->addWidget(episode_count_box_, 4, 1, 1, 2);
    rename_box_ = named(new QCheckBox(ui("保存时自动重命名"), group), "选择框1");
    fields->addWidget(rename_box_, 5, 0, 1, 3);

    parallel_box_ = named(new QSpinBox(group), "调节框1");
    parallel_box_->setRange(1, 4);
    parallel_box_->setSuffix(ui(" 集"));
    parallel_box_->setAccessibleName(ui("同时下载")); // its caption's words, said once
    fields->addWidget(caption(group, "标签5", "同时下载：", parallel_box_), 6, 0);
    fields->addWidget(parallel_box_, 6, 1, Qt::AlignLeft);

    media_host_box_ = named(new QLineEdit(group), "媒体主机");
    media_host_box_->setAccessibleName(ui("媒体主机"));
    fields->addWidget(caption(group, "媒体主机标签", "媒体主机：", media_host_box_), 7, 0);
    fields->addWidget(media_host_box_, 7, 1, 1, 2);
    auto* host_hint = named(new QLabel(ui("音频文件所在的主机（可带端口）；空白时用书页网址的主机。"),
                                       group),
                            "媒体主机说明");
    host_hint->setWordWrap(true);
    host_hint->setEnabled(false);
    // A screen reader says the hint with the box.
    media_host_box_->setProperty("hint", host_hint->text());
    media_host_box_->setAccessibleDescription(host_hint->text());
    fields->addWidget(host_hint, 8, 0, 1, 3);
    tag_box_ = named(new QCheckBox(ui("写入标签"), group), "写入标签");
    tag_box_->setToolTip(ui("为每集写入书名、作者、播音和封面，并在书的文件夹里放封面和播放列表。"));
    tag_box_->setAccessibleDescription(tag_box_->toolTip());
    fields->addWidget(tag_box_, 9, 0, 1, 3);

    check_timer_ = named(new CheckTimerSwitch(group), "后台追更");
    fields->addWidget(check_timer_, 10, 0, 1, 3);
    fields->addWidget(check_timer_->hint(), 11, 0, 1, 3);

    problems_ = named(new QLabel(this), "settings_problems");
    problems_->setTextFormat(Qt::PlainText);
    problems_->setWordWrap(true);
    problems_->setFocusPolicy(Qt::TabFocus);
    problems_->setAccessibleName(ui("需要改正"));
    QPalette warning = problems_->palette();
    warning.setColor(QPalette::WindowText, QColor(170, 0, 0));
    problems_->setPalette(warning);
    problems_->hide(); // out of the way of Tab while it has nothing to say

    save_button_ = named(new QPushButton(ui("保存配置"), this), "按钮2");
    // Enter in an edit box must not press a button behind the user's back.
    for (QPushButton* button : {choose_button_, save_button_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    feeds_ = new FeedSettingsGroup(this);
    auto* form = new QVBoxLayout(this);
    form->addWidget(group);
    form->addWidget(feeds_);
    form->addWidget(problems_);
    form->addStretch(1);
    form->addWidget(save_button_, 0, Qt::AlignRight);
    // As large as its fields need at the font, no larger.
    form->setSizeConstraint(QLayout::SetFixedSize);
    keep_problem_room(group->sizeHint().width());

    // Tab goes through the form as it reads, down to 保存配置.
    QWidget* order[] = {save_folder_box_, choose_button_, start_episode_box_, episode_count_box_,
                        rename_box_,      parallel_box_,  media_host_box_,    tag_box_,
                        feeds_->switch_box(), feeds_->port_box(), feeds_->renew_button(),
                        problems_,        save_button_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    setTabOrder(tag_box_, check_timer_);
    setTabOrder(check_timer_, check_timer_->hint());

    connect(choose_button_, &QPushButton::clicked, this, &SettingsWindow::choose_save_folder);
    connect(save_button_, &QPushButton::clicked, this, &SettingsWindow::save_settings);
}

// The problem line has room for every field's longest problem at once, as wide
// as the fields: the window keeps its size, and 保存配置 its place, as
// problems come and go.
void SettingsWindow::keep_problem_room(int width) {
    QStringList worst;
    for (const char* field : {"下载保存路径：", "显示与下载开始集数：", "默认显示集数：", "媒体主机："})
        worst << ui(field) + to_qstring(longest_problem());
    problems_->setText(worst.join(QChar('\n')));
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    policy.setRetainSizeWhenHidden(true);
    problems_->setSizePolicy(policy);
    problems_->setFixedHeight(problems_->heightForWidth(width));
    problems_->clear();
}

void SettingsWindow::bind_checks() {
    for (QLineEdit* box : {save_folder_box_, start_episode_box_, episode_count_box_, media_host_box_})
        connect(box, &QLineEdit::textChanged, this, [this] { check_fields(); });
}

void SettingsWindow::on_settings_window_created() {
    save_folder_box_->setText(to_qstring(read_setting(gbk("默认保存路径"))));
    start_episode_box_->setText(to_qstring(read_setting(gbk("显示与下载开始集数"))));
    episode_count_box_->setText(to_qstring(read_setting(gbk("默认显示集数"))));
    rename_box_->setChecked(to_flag(read_setting(gbk("保存时自动重命名"))));
    parallel_box_->setValue(read_parallel_downloads());
    media_host_box_->setText(to_qstring(read_setting(gbk("媒体主机"))));
    tag_box_->setChecked(read_tag_writing());
    // No folder set: the one the downloads go to then.
    if (save_folder_box_->text().isEmpty())
        save_folder_box_->setText(to_qstring(default_save_folder()));
    // A path is read from its start.
    save_folder_box_->setCursorPosition(0);
    check_fields();
}

bool SettingsWindow::check_fields(const Text& folder_problem) {
    const Text folder_typed = save_folder_problem(one_line(save_folder_box_),
                                                  gbk_can_hold(save_folder_box_->text()));
    const std::pair<QLineEdit*, Text> checked[] = {
        {save_folder_box_, folder_typed.empty() ? folder_problem : folder_typed},
        {start_episode_box_, start_episode_problem(one_line(start_episode_box_))},
        {episode_count_box_, episode_count_problem(one_line(episode_count_box_))},
        {media_host_box_, media_host_problem(one_line(media_host_box_))},
    };
    QStringList said;
    for (const auto& [box, problem] : checked) {
        mark(box, problem);
        if (!problem.empty()) {
            QString name = box->accessibleName(); // the field's caption names it
            for (const QLabel* label : findChildren<QLabel*>())
                if (label->buddy() == box)
                    name = label->text();
            if (name.endsWith(ui("：")))
                name.chop(1);
            said << name + ui("：") + to_qstring(problem);
        }
    }
    problems_->setText(said.join(QChar('\n')));
    problems_->setVisible(!said.isEmpty());
    return said.isEmpty();
}

// An empty host that the file does not name leaves the file as it was.
void SettingsWindow::save_media_host() {
    const Text host = trim_spaces(one_line(media_host_box_));
    if (!host.empty() || !read_setting(gbk("媒体主机")).empty())
        write_setting(gbk("媒体主机"), host);
}

// Written only when changed, so a file without the key stays as it was.
void SettingsWindow::save_parallel_control() {
    if (parallel_box_->value() != read_parallel_downloads())
        write_setting(gbk("同时下载"), number_to_text(parallel_box_->value()));
}

void SettingsWindow::choose_save_folder() {
    // The dialog opens in the folder the box names (the default one when
    // empty), or the nearest folder above it that is there.
    QString typed = save_folder_box_->text().trimmed();
    if (typed.isEmpty())
        typed = to_qstring(default_save_folder());
    QFileInfo start_in(QDir::cleanPath(QDir::current().absoluteFilePath(typed)));
    while (!start_in.isDir() && !start_in.isRoot())
        start_in = QFileInfo(start_in.path());
    save_folder_box_->setText(choose_folder(this, gbk("选择目录"), start_in.filePath()));
}

// Nothing is saved while a field is bad; the save folder is made and written
// into first.
void SettingsWindow::save_settings() {
    const bool typed_well = check_fields();
    const Text folder = trim_spaces(one_line(save_folder_box_));
    if (!typed_well || !check_fields(save_folder_write_problem(folder))) {
        show_message(this, gbk("配置失败！"), from_qstring(problems_->text()));
        return;
    }
    write_setting(gbk("默认保存路径"), folder);
    write_setting(gbk("显示与下载开始集数"), trim_spaces(one_line(start_episode_box_)));
    write_setting(gbk("默认显示集数"), trim_spaces(one_line(episode_count_box_)));
    bool saved = write_setting(gbk("保存时自动重命名"), flag_text(rename_box_->isChecked()));
    // Written once changed, so that a file without the key stays as it was.
    if (tag_box_->isChecked() != read_tag_writing())
        saved = write_setting(gbk("写入标签"), flag_text(tag_box_->isChecked())) && saved;
    save_parallel_control();
    save_media_host();
    saved = feeds_->save() && saved;
    const Text timer_problem = check_timer_->apply();
    if (!timer_problem.empty()) {
        show_message(this, gbk("配置失败！"), timer_problem);
        return;
    }
    show_message(this, gbk(saved ? "配置成功！" : "配置失败！"));
}

#include "settings/settings_window.hpp"

#include "widgets/dialogs.hpp"
#include "text/qt_text.hpp"
#include "settings/config_file.hpp"
#include "settings/save_folder.hpp"
#include "text/gbk.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// Size of the window with its frame: the rows below the group box (how many
// at once, then the Media host) make it taller than the form's 375 x 249.
constexpr int parallel_row_height = 32;
constexpr int media_host_rows_height = 58;
constexpr QSize outer_size{375, 249 + parallel_row_height + media_host_rows_height};

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

// The form is drawn for a 12 px font. A user whose font is larger gets that
// font, and every place and size grows with it, so captions keep their room.
double form_scale() {
    const int font_pixels = QFontInfo(QApplication::font()).pixelSize();
    return font_pixels > 15 ? font_pixels / 12.0 : 1.0;
}

int scaled(int form_pixels) {
    return int(std::lround(form_pixels * form_scale()));
}

template <typename Control>
Control* place(Control* control, const char* name, int x, int y, int width, int height) {
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(scaled(x), scaled(y), scaled(width), scaled(height));
    return control;
}

QSize scaled_outer_size() {
    return {scaled(outer_size.width()), scaled(outer_size.height())};
}

QLabel* make_label(QWidget* parent, const char* name, const char* caption, int x, int y, int width,
                   int height) {
    auto* label = place(new QLabel(to_qstring(gbk(caption)), parent), name, x, y, width, height);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true); // a long caption goes on over two lines, as it always did
    return label;
}

QPushButton* make_button(QWidget* parent, const char* name, const char* caption, int x, int y,
                         int width, int height) {
    auto* button =
        place(new QPushButton(to_qstring(gbk(caption)), parent), name, x, y, width, height);
    // Enter in an edit box must not press a button behind the user's back.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
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
    setWindowTitle(to_qstring(gbk("设置")));
    setWindowIcon(settings_icon());
    setCursor(Qt::PointingHandCursor);
    setModal(true);
    QFont form_font = font();
    form_font.setPixelSize(scaled(12));
    setFont(form_font);

    QLabel* folder_caption =
        make_label(this, "标签1", "下载保存路径： 默认为程序所在文件夹", 16, 8, 256, 24);
    save_folder_box_ = place(new QLineEdit(this), "编辑框1", 16, 32, 296, 24);
    folder_caption->setBuddy(save_folder_box_);
    choose_button_ = make_button(this, "按钮1", "选择", 312, 24, 40, 24);
    make_label(this, "标签3", "显示与下载开始集数：", 21, 63, 112, 24)
        ->setBuddy(start_episode_box_ = place(new QLineEdit(this), "编辑框3", 144, 63, 64, 24));
    make_label(this, "标签4", "默认显示集数", 217, 64, 75, 24)
        ->setBuddy(episode_count_box_ = place(new QLineEdit(this), "编辑框4", 295, 63, 56, 24));

    // The group box frames the tick box and the save button; their positions
    // are inside the group box.
    auto* group = place(new QGroupBox(this), "分组框1", 8, 0, 360, 216);
    rename_box_ = place(new QCheckBox(to_qstring(gbk("保存时自动重命名")), group), "选择框1", 216,
                        96, 128, 32);
    save_button_ = make_button(group, "按钮2", "保存配置", 144, 144, 56, 24);
    group->lower(); // stacked under the rows it frames, so it never covers them
    add_parallel_control();

    add_media_host_row();
    fit_captions();

    connect(choose_button_, &QPushButton::clicked, this, &SettingsWindow::choose_save_folder);
    connect(save_button_, &QPushButton::clicked, this, &SettingsWindow::save_settings);

    setFixedSize(scaled_outer_size());
    move(50, 50);
    on_settings_window_created();
}

void SettingsWindow::on_settings_window_created() {
    save_folder_box_->setText(to_qstring(read_setting(gbk("默认保存路径"))));
    start_episode_box_->setText(to_qstring(read_setting(gbk("显示与下载开始集数"))));
    episode_count_box_->setText(to_qstring(read_setting(gbk("默认显示集数"))));
    rename_box_->setChecked(to_flag(read_setting(gbk("保存时自动重命名"))));
    parallel_box_->setValue(read_parallel_downloads());
    media_host_box_->setText(to_qstring(read_setting(gbk("媒体主机"))));
    // No folder set: the one the downloads go to then.
    if (save_folder_box_->text().isEmpty())
        save_folder_box_->setText(to_qstring(default_save_folder()));
    folder_at_open_ = save_folder_box_->text();
}

// A caption that needs another line at the window's font (the start episode's,
// a little wider than its place) gets the room below it, where the form has none
// of its controls.
void SettingsWindow::fit_captions() {
    for (QLabel* label : findChildren<QLabel*>())
        if (label->wordWrap())
            label->resize(label->width(),
                          std::max(label->height(), label->heightForWidth(label->width())));
}

// The Media host row: where the episodes' audio files are fetched from.
void SettingsWindow::add_media_host_row() {
    const int top = 256; // under the 同时下载 row
    make_label(this, "媒体主机标签", "媒体主机：", 16, top, 64, 24);
    media_host_box_ = place(new QLineEdit(this), "媒体主机", 80, top, 272, 24);
    media_host_box_->setAccessibleName(to_qstring(gbk("媒体主机")));
    auto* hint = make_label(this, "媒体主机说明",
                            "音频文件所在的主机（可带端口）；空白时用书页网址的主机。", 16,
                            top + 26, 336, 24);
    hint->setEnabled(false); // a quieter, explaining line
}

// An empty host that the file does not name leaves the file as it was.
void SettingsWindow::save_media_host() {
    const Text host = trim_spaces(one_line(media_host_box_));
    if (!host.empty() || !read_setting(gbk("媒体主机")).empty())
        write_setting(gbk("媒体主机"), host);
}

// A new save folder is used from the next start on; the message says so.
Text SettingsWindow::save_message_detail() const {
    if (save_folder_box_->text() == folder_at_open_)
        return {};
    return gbk("新的保存路径在程序重新启动后生效。");
}

// Below the group box: how many episodes download at once.
void SettingsWindow::add_parallel_control() {
    auto* label = make_label(this, "标签5", "同时下载：", 21, 224, 112, 24);
    parallel_box_ = place(new QSpinBox(this), "调节框1", 144, 224, 64, 24);
    parallel_box_->setRange(1, 4);
    parallel_box_->setSuffix(to_qstring(gbk(" 集")));
    parallel_box_->setAccessibleName(to_qstring(gbk("同时下载集数")));
    label->setBuddy(parallel_box_);
}

// Written only when changed, so a file without the key stays as it was.
void SettingsWindow::save_parallel_control() {
    if (parallel_box_->value() != read_parallel_downloads())
        write_setting(gbk("同时下载"), number_to_text(parallel_box_->value()));
}

void SettingsWindow::choose_save_folder() {
    save_folder_box_->setText(choose_folder(this, gbk("选择目录")));
}

void SettingsWindow::save_settings() {
    // A folder whose name GBK cannot hold would be stored with "?" in it and
    // name a folder that does not exist: it is not stored, and the save fails.
    const bool folder_fits = gbk_can_hold(save_folder_box_->text());
    if (folder_fits)
        write_setting(gbk("默认保存路径"), one_line(save_folder_box_));
    write_setting(gbk("显示与下载开始集数"), one_line(start_episode_box_));
    write_setting(gbk("默认显示集数"), one_line(episode_count_box_));
    bool saved = write_setting(gbk("保存时自动重命名"), flag_text(rename_box_->isChecked()));
    save_parallel_control();
    save_media_host();
    if (saved && folder_fits)
        show_message(this, gbk("配置成功！"), save_message_detail());
    else
        show_message(this, gbk("配置失败！"));
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    keep_outer_size();
    // The window manager may add its frame only after the window is shown.
    QTimer::singleShot(0, this, &SettingsWindow::keep_outer_size);
}

void SettingsWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    keep_outer_size();
}

// The frame counts towards the window's size: the inside shrinks by the frame.
void SettingsWindow::keep_outer_size() {
    const QSize frame = frameGeometry().size() - size();
    const QSize inside = scaled_outer_size() - frame;
    if (inside != size())
        setFixedSize(inside);
}

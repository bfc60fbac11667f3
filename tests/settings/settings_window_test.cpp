#include "config_folder.hpp"
#include "support/home_folder.hpp"
#include "text/qt_text.hpp"
#include "settings/config_file.hpp"
#include "settings/settings_window.hpp"
#include "text/gbk.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace fs = std::filesystem;

namespace {

// Acts on each modal dialog of kind T that opens, from inside its own event
// loop, the way a user would.
template <typename T> struct OnModal {
    QTimer timer;
    int opened = 0;
    explicit OnModal(std::function<void(T*)> act) {
        QObject::connect(&timer, &QTimer::timeout, [this, act] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget()))
                ++opened, act(dialog);
        });
        timer.start(5);
    }
};

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename W = QWidget> W* control(const QWidget& window, const char* name) {
    W* widget = window.findChild<W*>(q(name));
    EXPECT_TRUE(widget) << name;
    return widget;
}
void click(const QWidget& window, const char* name) {
    QTest::mouseClick(control(window, name), Qt::LeftButton);
}

struct SettingsWindowTest : ConfigFolder {
    // Every message box is read and closed with its one OK button.
    QStringList messages;
    QStringList details; // the second line of each box
    OnModal<QMessageBox> boxes{[this](QMessageBox* box) {
        messages << box->text();
        details << box->informativeText();
        EXPECT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }};
};

} // namespace

TEST_F(SettingsWindowTest, LayoutCaptionsIconAndPointer) {
    SettingsWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), q("设置"));
    // The form's 375 x 249, taller by the rows below the group box.
    EXPECT_EQ(window.frameGeometry().size(), QSize(375, 339));
    EXPECT_EQ(window.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
    // Each box is named by its caption.
    const std::pair<const char*, const char*> buddies[] = {
        {"标签1", "编辑框1"}, {"标签3", "编辑框3"}, {"标签4", "编辑框4"}};
    for (const auto& [label, box] : buddies)
        EXPECT_EQ(window.findChild<QLabel*>(q(label))->buddy(), window.findChild<QWidget*>(q(box)))
            << label;

    struct Expected {
        const char *name, *kind;
        QRect place;
        const char* caption;
    } const table[] = {
        {"标签1", "QLabel", {16, 8, 256, 24}, "下载保存路径： 默认为程序所在文件夹"},
        {"编辑框1", "QLineEdit", {16, 32, 296, 24}, ""},
        {"按钮1", "QPushButton", {312, 24, 40, 24}, "选择"},
        {"标签3", "QLabel", {21, 63, 112, 24}, "显示与下载开始集数："},
        {"编辑框3", "QLineEdit", {144, 63, 64, 24}, ""},
        {"标签4", "QLabel", {217, 64, 75, 24}, "默认显示集数"},
        {"编辑框4", "QLineEdit", {295, 63, 56, 24}, ""},
        {"分组框1", "QGroupBox", {8, 0, 360, 216}, ""},
        {"选择框1", "QCheckBox", {216, 96, 128, 32}, "保存时自动重命名"}, // in 分组框1
        {"按钮2", "QPushButton", {144, 144, 56, 24}, "保存配置"},         // in 分组框1
        {"标签5", "QLabel", {21, 224, 112, 24}, "同时下载："},
        {"调节框1", "QSpinBox", {144, 224, 64, 24}, ""},
    };
    QWidget* group = control(window, "分组框1");
    for (const Expected& e : table) {
        QWidget* widget = control(window, e.name);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(widget->inherits(e.kind)) << e.name;
        // A caption may be taller than its place where its text needs another line.
        EXPECT_EQ(widget->geometry().adjusted(0, 0, 0, e.place.height() - widget->height()), e.place)
            << e.name;
        EXPECT_GE(widget->height(), e.place.height()) << e.name;
        bool in_group = widget == control(window, "选择框1") || widget == control(window, "按钮2");
        EXPECT_EQ(widget->parentWidget(), in_group ? group : &window) << e.name;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), q(e.caption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), q(e.caption));
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(box->title(), q(e.caption));
        }
    }
}

TEST_F(SettingsWindowTest, RoundTripsEveryKeyAndKeepsTheRestOfTheFile) {
    write_raw(gbk("; 我的设置\r\n[设置]\r\n默认保存路径=/书/旧\r\n默认网址=http://a/\r\n"
                  "显示与下载开始集数=3\r\n默认显示集数=十\r\n保存时自动重命名=真\r\n"
                  "\r\n[其他]\r\n默认保存路径=别处\r\n"));
    SettingsWindow window;
    window.show();
    auto* folder_box = control<QLineEdit>(window, "编辑框1");
    auto* start_box = control<QLineEdit>(window, "编辑框3");
    auto* count_box = control<QLineEdit>(window, "编辑框4");
    auto* rename = control<QCheckBox>(window, "选择框1");
    EXPECT_EQ(folder_box->text(), q("/书/旧"));
    EXPECT_EQ(start_box->text(), "3");
    EXPECT_EQ(count_box->text(), q("十"));
    EXPECT_TRUE(rename->isChecked());

    folder_box->setText(q("/新的 文件夹"));
    start_box->setText("abc");
    count_box->setText(q("2\n0")); // a pasted line break must not split the line
    rename->setChecked(false);
    click(window, "按钮2");
    click(window, "按钮2");
    EXPECT_EQ(messages, QStringList({q("配置成功！"), q("配置成功！")}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(read_raw(), gbk("; 我的设置\r\n[设置]\r\n默认保存路径=/新的 文件夹\r\n"
                              "默认网址=http://a/\r\n显示与下载开始集数=abc\r\n默认显示集数=20\r\n"
                              "保存时自动重命名=假\r\n\r\n[其他]\r\n默认保存路径=别处\r\n"));
    SettingsWindow again;
    EXPECT_EQ(control<QLineEdit>(again, "编辑框1")->text(), q("/新的 文件夹"));
    // At once: a value changed is written, out-of-range and foreign texts read as 1 to 4.
    control<QSpinBox>(again, "调节框1")->setValue(3);
    click(again, "按钮2");
    EXPECT_EQ(read_parallel_downloads(), 3);
    for (const auto& [stored, read] : {std::pair{"9", 4}, {"0", 1}, {"两", 1}, {" 2 ", 2}}) {
        write_setting(gbk("同时下载"), gbk(stored));
        EXPECT_EQ(control<QSpinBox>(SettingsWindow(), "调节框1")->value(), read) << stored;
    }
    EXPECT_FALSE(control<QCheckBox>(again, "选择框1")->isChecked());
}

// The Media host has a box of its own below the group box; a new save folder
// is taken at the next start, and the message says so below its text.
TEST_F(SettingsWindowTest, MediaHostIsEditedAndANewSaveFolderWaitsForTheNextStart) {
    write_raw(gbk("[设置]\r\n默认保存路径=/书\r\n媒体主机=old.example:81\r\n"));
    SettingsWindow window;
    window.show();
    auto* host_box = control<QLineEdit>(window, "媒体主机");
    EXPECT_GE(host_box->y(), 216);
    EXPECT_LE(host_box->geometry().right(), window.width());
    EXPECT_FALSE(host_box->accessibleName().isEmpty());
    EXPECT_EQ(host_box->text(), "old.example:81");

    host_box->setText(" 127.0.0.1:8080 ");
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("媒体主机")), "127.0.0.1:8080");
    control<QLineEdit>(window, "编辑框1")->setText(q("/别的书"));
    host_box->clear(); // the book page's own host again
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("媒体主机")), "");
    EXPECT_EQ(messages, QStringList({q("配置成功！"), q("配置成功！")}));
    EXPECT_EQ(details, QStringList({"", q("新的保存路径在程序重新启动后生效。")}));
}

TEST_F(SettingsWindowTest, TicksOnlyForTheExactTrueWord) {
    for (const char* stored : {"真", "1", "true", "TRUE", "假", "", " 真x"}) {
        write_raw(gbk("[设置]\r\n保存时自动重命名=") + gbk(stored) + "\r\n");
        SettingsWindow window;
        EXPECT_EQ(control<QCheckBox>(window, "选择框1")->isChecked(), stored == std::string("真"))
            << stored;
    }
}

TEST_F(SettingsWindowTest, ReadOnlyFolderReportsFailureAndKeepsTheFile) {
    const Text before = gbk("[设置]\r\n默认保存路径=/旧\r\n");
    write_raw(before);
    SettingsWindow window;
    window.show();
    control<QLineEdit>(window, "编辑框1")->setText("/new");
    // Marked read-only; the program honours the mark even for the superuser.
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    click(window, "按钮2");
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(messages, QStringList{q("配置失败！")});
    EXPECT_EQ(read_raw(), before);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SettingsWindowTest, MusicFolderStandsInForAnEmptySaveFolder) {
    HomeFolder home;
    const QString substitute = to_qstring(text_path(home.default_save_folder()));
    const fs::path chosen = folder / "有声书";
    fs::create_directory(chosen);
    bool cancel = false;
    OnModal<QFileDialog> user([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), q("选择目录"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        if (!cancel)
            dialog->setDirectory(to_qstring(text_path(chosen)));
        // What the dialog's own Choose and Cancel buttons do.
        cancel ? dialog->reject() : static_cast<QDialog*>(dialog)->accept();
    });
    SettingsWindow window;
    window.show();
    auto* folder_box = control<QLineEdit>(window, "编辑框1");
    EXPECT_EQ(folder_box->text(), substitute);
    EXPECT_FALSE(control<QCheckBox>(window, "选择框1")->isChecked());
    EXPECT_FALSE(fs::exists(file)); // opening writes nothing
    click(window, "按钮1");
    EXPECT_EQ(folder_box->text(), to_qstring(text_path(chosen)));
    cancel = true;
    click(window, "按钮1");
    EXPECT_EQ(user.opened, 2);
    EXPECT_EQ(folder_box->text(), "");

    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), "");
    SettingsWindow again;
    EXPECT_EQ(control<QLineEdit>(again, "编辑框1")->text(), substitute);
    click(again, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), from_qstring(substitute));
}

TEST_F(SettingsWindowTest, AFolderGbkCannotHoldIsNotStoredAndTheSaveFails) {
    write_raw(gbk("[设置]\r\n默认保存路径=/旧\r\n"));
    const fs::path chosen = folder / u8"한국어 책";
    fs::create_directory(chosen);
    OnModal<QFileDialog> user([&](QFileDialog* dialog) {
        dialog->setDirectory(QString::fromStdU16String(chosen.u16string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    SettingsWindow window;
    window.show();
    auto* folder_box = control<QLineEdit>(window, "编辑框1");
    click(window, "按钮1");
    EXPECT_EQ(folder_box->text(), QString::fromStdU16String(chosen.u16string()));
    control<QLineEdit>(window, "编辑框3")->setText("7");
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), gbk("/旧"));
    EXPECT_EQ(read_setting(gbk("显示与下载开始集数")), "7"); // the other keys are saved

    folder_box->setText(q("/书/😀"));
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), gbk("/旧"));
    folder_box->setText(q("/书/新"));
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), gbk("/书/新"));
    EXPECT_EQ(messages, QStringList({q("配置失败！"), q("配置失败！"), q("配置成功！")}));
}

TEST_F(SettingsWindowTest, ClosingTheModalWindowDiscardsEdits) {
    const Text before = gbk("[设置]\r\n默认显示集数=5\r\n");
    write_raw(before);
    OnModal<SettingsWindow> user([](SettingsWindow* window) {
        control<QLineEdit>(*window, "编辑框4")->setText("99");
        window->close();
    });
    SettingsWindow dialog;
    dialog.exec();
    EXPECT_EQ(user.opened, 1);
    EXPECT_EQ(read_raw(), before);
}

// At the form's font and at a user's larger one, every caption fits its
// control, and the window grows with the font.
TEST_F(SettingsWindowTest, EveryCaptionFitsAtTheUsualAndAtALargerFont) {
    const QFont usual = QApplication::font();
    const struct FontBack {
        QFont font;
        ~FontBack() { QApplication::setFont(font); }
    } font_back{usual};
    for (const int points : {0, 16}) {
        SCOPED_TRACE(points);
        if (points) {
            QFont large = usual;
            large.setPointSize(points);
            QApplication::setFont(large);
        }
        SettingsWindow window;
        window.show();
        QApplication::processEvents();
        EXPECT_EQ(window.frameGeometry().size().width() > 375, points > 0);
        for (QWidget* w : window.findChildren<QWidget*>()) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(w))
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                text = button->text();
            if (text.isEmpty() || !w->isVisible())
                continue;
            const QFontMetrics metrics(w->font());
            auto* label = qobject_cast<QLabel*>(w);
            if (label && label->wordWrap()) {
                EXPECT_GE(w->height(), label->heightForWidth(w->width())) << text.toStdString();
            } else {
                EXPECT_GE(w->height(), metrics.height()) << text.toStdString();
                EXPECT_GE(w->width(), metrics.horizontalAdvance(text)) << text.toStdString();
            }
        }
    }
}

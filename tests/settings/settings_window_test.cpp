#include "config_folder.hpp"
#include "support/home_folder.hpp"
#include "text/qt_text.hpp"
#include "settings/config_file.hpp"
#include "settings/feed_settings.hpp"
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

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

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

// One form, titled as the button that opens it: the save folder, the range,
// the renaming, how many download at once, the Media host and 后台追更, one below the
// other, and the save button below them all; nothing overlaps or is cut.
TEST_F(SettingsWindowTest, OneFormTitledAsItsButtonWithTheSaveButtonBelow) {
    SettingsWindow window;
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), q("配置"));
    EXPECT_EQ(window.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
    // Each box is named by its caption.
    const std::pair<const char*, const char*> buddies[] = {
        {"标签1", "编辑框1"}, {"标签3", "编辑框3"}, {"标签4", "编辑框4"}, {"标签5", "调节框1"}};
    for (const auto& [label, box] : buddies)
        EXPECT_EQ(window.findChild<QLabel*>(q(label))->buddy(), window.findChild<QWidget*>(q(box)))
            << label;

    const struct {
        const char *name, *kind, *caption;
    } table[] = {
        {"标签1", "QLabel", "下载保存路径："},
        {"编辑框1", "QLineEdit", nullptr},
        {"按钮1", "QPushButton", "选择"},
        {"标签3", "QLabel", "显示与下载开始集数："},
        {"编辑框3", "QLineEdit", nullptr},
        {"标签4", "QLabel", "默认显示集数："},
        {"编辑框4", "QLineEdit", nullptr},
        {"分组框1", "QGroupBox", ""},
        {"选择框1", "QCheckBox", "保存时自动重命名"},
        {"标签5", "QLabel", "同时下载："},
        {"调节框1", "QSpinBox", nullptr},
        {"媒体主机", "QLineEdit", nullptr},
        {"写入标签", "QCheckBox", "写入标签"},
        {"后台追更", "QCheckBox", "后台追更"},
        {"按钮2", "QPushButton", "保存配置"},
    };
    std::vector<QRect> places;
    for (const auto& e : table) {
        QWidget* widget = control(window, e.name);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(widget->inherits(e.kind)) << e.name;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), q(e.caption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), q(e.caption));
        }
        const QRect place(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(window.rect().contains(place)) << e.name;
        if (widget != control(window, "分组框1"))
            places.push_back(place);
    }
    for (std::size_t i = 0; i < places.size(); ++i)
        for (std::size_t j = i + 1; j < places.size(); ++j)
            EXPECT_FALSE(places[i].intersects(places[j])) << table[i].name << " " << table[j].name;

    const auto top = [&](const char* name) { return control(window, name)->mapTo(&window, QPoint(0, 0)).y(); };
    const char* downward[] = {"编辑框1", "编辑框3", "编辑框4", "选择框1", "调节框1",
                              "媒体主机", "写入标签", "后台追更", "按钮2"};
    for (std::size_t i = 1; i < std::size(downward); ++i)
        EXPECT_LT(top(downward[i - 1]), top(downward[i])) << downward[i];
    EXPECT_EQ(top("按钮1"), top("编辑框1")); // the choose button beside its box
    QRect group(control(window, "分组框1")->mapTo(&window, QPoint(0, 0)), control(window, "分组框1")->size());
    EXPECT_GT(top("按钮2"), group.bottom()); // below the form

    // The caption under the save folder's says what an empty box means.
    EXPECT_TRUE(control<QLabel>(window, "标签2")->text().contains(q("音乐文件夹")));
    EXPECT_TRUE(control<QLabel>(window, "标签2")->text().contains(q("有声书")));
}

// Each field is checked as it is typed: a bad one is marked, and the line below
// the form names it; saving then saves nothing. The save folder is made and
// written into when saving.
TEST_F(SettingsWindowTest, ABadFieldIsMarkedAndNamedAndNothingIsSaved) {
    const Text before = gbk("[设置]\r\n默认显示集数=5\r\n");
    write_raw(before);
    SettingsWindow window;
    window.show();
    auto* problems = control<QLabel>(window, "settings_problems");
    control<QLineEdit>(window, "编辑框1")->setText(to_qstring(text_path(folder / "书库")));
    EXPECT_FALSE(problems->isVisible());
    const struct {
        const char *box, *typed, *named;
    } cases[] = {
        {"编辑框3", "2.5", "显示与下载开始集数"},
        {"编辑框4", "0", "默认显示集数"},
        {"媒体主机", "http://media.example.com", "媒体主机"},
        {"编辑框1", "书/相对", "下载保存路径"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        auto* box = control<QLineEdit>(window, c.box);
        const QString good = box->text();
        box->setText(q(c.typed));
        EXPECT_TRUE(problems->isVisible());
        EXPECT_TRUE(problems->text().contains(q(c.named))) << problems->text().toStdString();
        EXPECT_FALSE(box->accessibleDescription().isEmpty());
        EXPECT_NE(box->palette().color(QPalette::Base), window.palette().color(QPalette::Base));
        click(window, "按钮2");
        EXPECT_EQ(messages.back(), q("配置失败！"));
        EXPECT_TRUE(details.back().contains(q(c.named)));
        EXPECT_EQ(read_raw(), before);
        box->setText(good);
        EXPECT_FALSE(problems->isVisible());
        // Good again: the box says its hint (only the Media host has one).
        EXPECT_EQ(box->accessibleDescription(), box->property("hint").toString());
    }
    // A folder that cannot be made is found when saving.
    std::ofstream(folder / "占位") << "a file, not a folder";
    auto* folder_box = control<QLineEdit>(window, "编辑框1");
    folder_box->setText(to_qstring(text_path(folder / "占位" / "书")));
    EXPECT_FALSE(problems->isVisible());
    click(window, "按钮2");
    EXPECT_EQ(messages.back(), q("配置失败！"));
    EXPECT_TRUE(problems->isVisible());
    EXPECT_TRUE(problems->text().contains(q("下载保存路径")));
    EXPECT_EQ(read_raw(), before);
    folder_box->setText(to_qstring(text_path(folder / "书库")));
    click(window, "按钮2");
    EXPECT_EQ(messages.back(), q("配置成功！"));
    EXPECT_TRUE(fs::is_directory(folder / "书库"));
    EXPECT_EQ(read_setting(gbk("默认保存路径")), text_path(folder / "书库"));
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

    const Text chosen = text_path(folder / native_path(gbk("新的 文件夹")));
    folder_box->setText(to_qstring(chosen));
    start_box->setText(" 40 ");
    count_box->setText(q("2\n0")); // a pasted line break must not split the line
    rename->setChecked(false);
    click(window, "按钮2");
    click(window, "按钮2");
    EXPECT_EQ(messages, QStringList({q("配置成功！"), q("配置成功！")}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(read_raw(), gbk("; 我的设置\r\n[设置]\r\n默认保存路径=") + chosen +
                              gbk("\r\n默认网址=http://a/\r\n显示与下载开始集数=40\r\n默认显示集数=20\r\n"
                                  "保存时自动重命名=假\r\n\r\n[其他]\r\n默认保存路径=别处\r\n"));
    SettingsWindow again;
    EXPECT_EQ(control<QLineEdit>(again, "编辑框1")->text(), to_qstring(chosen));
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

// The Media host has a box of its own in the form.
TEST_F(SettingsWindowTest, MediaHostIsEdited) {
    write_raw(gbk("[设置]\r\n默认保存路径=") + text_path(folder) + gbk("\r\n媒体主机=old.example:81\r\n"));
    SettingsWindow window;
    window.show();
    auto* host_box = control<QLineEdit>(window, "媒体主机");
    EXPECT_FALSE(host_box->accessibleName().isEmpty());
    EXPECT_EQ(host_box->text(), "old.example:81");

    host_box->setText(" 127.0.0.1:8080 ");
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("媒体主机")), "127.0.0.1:8080");
    host_box->clear(); // the book page's own host again
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("媒体主机")), "");
    EXPECT_EQ(messages, QStringList({q("配置成功！"), q("配置成功！")}));
}

// 写入标签 is on unless the file says otherwise; unticked, it is written.
TEST_F(SettingsWindowTest, TagWritingIsOnByDefault) {
    struct Case {
        const char* stored; // nullptr: no such key
        bool on;
    };
    for (const Case& c : {Case{nullptr, true}, {"真", true}, {" 真 ", true}, {"假", false}, {"否", false}}) {
        SCOPED_TRACE(c.stored ? c.stored : "absent");
        write_raw(gbk("[设置]\r\n默认保存路径=") + text_path(folder) + "\r\n" +
                  (c.stored ? gbk("写入标签=") + gbk(c.stored) + "\r\n" : Text()));
        EXPECT_EQ(read_tag_writing(), c.on);
        SettingsWindow window;
        auto* box = control<QCheckBox>(window, "写入标签");
        EXPECT_EQ(box->isChecked(), c.on);
        box->setChecked(!c.on);
        click(window, "按钮2");
        EXPECT_EQ(read_tag_writing(), !c.on);
        EXPECT_EQ(read_setting(gbk("写入标签")), flag_text(!c.on));
    }
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
    control<QLineEdit>(window, "编辑框1")->setText("/tmp");
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
    fs::create_directories(home.default_save_folder().parent_path());
    bool cancel = false;
    QStringList opened_in;
    OnModal<QFileDialog> user([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), q("选择目录"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        opened_in << dialog->directory().absolutePath();
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
    // Each time the dialog opened in the folder the box named (the music
    // folder's "有声书" not made yet: the nearest folder above it).
    EXPECT_EQ(opened_in,
              (QStringList{QString::fromStdString(home.default_save_folder().parent_path().string()),
                           QString::fromStdString(chosen.string())}));

    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), "");
    SettingsWindow again;
    EXPECT_EQ(control<QLineEdit>(again, "编辑框1")->text(), substitute);
    click(again, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), from_qstring(substitute));
}

TEST_F(SettingsWindowTest, AFolderGbkCannotHoldIsNotStoredAndNothingIsSaved) {
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
    EXPECT_EQ(read_setting(gbk("显示与下载开始集数")), ""); // nothing is saved

    folder_box->setText(q("/书/😀"));
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), gbk("/旧"));
    const Text fits = text_path(folder / native_path(gbk("新")));
    folder_box->setText(to_qstring(fits));
    click(window, "按钮2");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), fits);
    EXPECT_EQ(read_setting(gbk("显示与下载开始集数")), "7");
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
    int usual_width = 0;
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
        if (points == 0)
            usual_width = window.width();
        else
            EXPECT_GT(window.width(), usual_width);
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

// Tab goes through the form as it reads, 保存配置 last; the Media host's hint is
// said with its box.
TEST_F(SettingsWindowTest, TabFollowsTheFormAndTheHostHintIsSaid) {
    SettingsWindow window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // 后台追更, or the line that says why it cannot be switched.
    const char* timer = control(window, "后台追更")->isEnabled() ? "后台追更" : "后台追更说明";
    const char* order[] = {"编辑框1", "按钮1",      "编辑框3",  "编辑框4",      "选择框1",
                           "调节框1", "媒体主机",   "写入标签", timer,          "局域网收听",
                           "收听端口", "更换收听地址", "按钮2"};
    control(window, order[0])->setFocus();
    for (const char* name : order) {
        EXPECT_EQ(QApplication::focusWidget(), control(window, name)) << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    auto* host = control(window, "媒体主机");
    EXPECT_EQ(host->accessibleDescription(), control<QLabel>(window, "媒体主机说明")->text());
}

// The window has room for the problems of every field at once: it keeps its
// size, and 保存配置 its place, however many fields are bad; it opens over the
// middle of the window it belongs to, and a long path shows from its start.
TEST_F(SettingsWindowTest, ProblemsComingAndGoingMoveNothing) {
    write_raw(gbk("[设置]\r\n默认保存路径=/") + std::string(200, 'a') + "\r\n");
    QWidget owner;
    owner.setGeometry(300, 100, 800, 600); // room on the screen above and below
    owner.show();
    SettingsWindow window(&owner);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_LE((window.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 40);
    EXPECT_EQ(control<QLineEdit>(window, "编辑框1")->cursorPosition(), 0);
    const QSize size = window.size();
    const QPoint save_at = control(window, "按钮2")->pos();
    const struct {
        const char* box;
        const char* typed;
    } bad[] = {
        {"媒体主机", "http://bad host/"},
        {"编辑框4", "-5"},
        {"编辑框3", "100000"},
        {"编辑框1", "书/相对"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.box);
        control<QLineEdit>(window, b.box)->setText(q(b.typed));
        QApplication::processEvents();
        EXPECT_TRUE(control(window, "settings_problems")->isVisible());
        EXPECT_EQ(window.size(), size);
        EXPECT_EQ(control(window, "按钮2")->pos(), save_at);
    }
    // Every line shows whole.
    auto* problems = control<QLabel>(window, "settings_problems");
    EXPECT_GE(problems->height(), problems->heightForWidth(problems->width()));
    for (const auto& b : bad)
        control<QLineEdit>(window, b.box)->setText(QString());
    QApplication::processEvents();
    EXPECT_FALSE(problems->isVisible());
    EXPECT_EQ(window.size(), size);
}

// Listening on the home network: off until switched on, the port kept, and a
// new token at the button, the old one gone from the file at once.
TEST_F(SettingsWindowTest, TheFeedsSwitchPortAndNewTokenAreKept) {
    SettingsWindow window;
    auto* on = control<QCheckBox>(window, "局域网收听");
    auto* port = control<QSpinBox>(window, "收听端口");
    EXPECT_FALSE(on->isChecked());
    EXPECT_EQ(port->value(), default_feeds_port);
    EXPECT_EQ(port->accessibleName(), q("收听端口"));
    const Text first = feed_token();
    EXPECT_TRUE(is_feed_token(first));
    EXPECT_EQ(feed_token(), first) << "kept between reads";
    click(window, "更换收听地址");
    const Text second = read_setting(gbk("收听令牌"));
    EXPECT_TRUE(is_feed_token(second));
    EXPECT_NE(second, first);
    EXPECT_EQ(control<QLabel>(window, "收听地址已更换")->text(), q("已更换：旧的收听地址不能再用了。"));
    on->setChecked(true);
    port->setValue(9100);
    click(window, "按钮2");
    EXPECT_EQ(messages, QStringList({q("配置成功！")}));
    EXPECT_TRUE(feeds_switched_on());
    EXPECT_EQ(feeds_port(), 9100);
    EXPECT_EQ(read_setting(gbk("局域网收听")), gbk("真"));
    EXPECT_NE(random_token(), random_token());
}

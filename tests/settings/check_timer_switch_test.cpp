// "后台追更" in the settings window, over the test's own session bus: with a
// stand-in for the user's systemd manager, the switch shows the timer's state
// as the window opens and 保存配置 switches it as `systemctl --user enable
// --now` or `disable --now` would; with no manager on the bus (the bus then
// fails to start the one its service file names), or a timer the manager cannot
// switch, it stays off and disabled and says why.
#include "check_timer/check_timer.hpp"
#include "config_folder.hpp"
#include "settings/check_timer_switch.hpp"
#include "settings/settings_window.hpp"
#include "support/systemd_manager.hpp"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const QString timer = QString::fromLatin1(check_timer_unit);
const QString read = "GetUnitFileState(" + timer + ")";

struct CheckTimerSwitchTest : ConfigFolder {
    QStringList messages, details; // of every message box, closed with OK
    QTimer boxes;
    CheckTimerSwitchTest() {
        QObject::connect(&boxes, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->text();
                details << box->informativeText();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        boxes.start(5);
    }
    // A settings window opened afresh, as the main window opens it, and its switch.
    std::unique_ptr<SettingsWindow> window = nullptr;
    CheckTimerSwitch* open() {
        window = std::make_unique<SettingsWindow>();
        window->show();
        return window->findChild<CheckTimerSwitch*>(q("后台追更"));
    }
    void save() const {
        QTest::mouseClick(window->findChild<QPushButton*>(q("按钮2")), Qt::LeftButton);
    }
};

// Its line, tooltip and description say the same; a switch that cannot be used
// gives its place on Tab to that line.
TEST_F(CheckTimerSwitchTest, ShowsTheStateTheManagerHoldsOrWhyItCannotSwitch) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    struct Case {
        std::optional<QString> state; // nullopt: no manager; empty: no such unit file
        bool enabled, ticked;
        const char* said; // a piece of the line
    };
    const Case cases[] = {
        {std::nullopt, false, false, "没有 systemd 用户管理器应答"},
        {QStringLiteral("enabled"), true, true, "每三小时检查追更的书"},
        {QStringLiteral("enabled-runtime"), true, true, "每三小时检查追更的书"},
        {QStringLiteral("disabled"), true, false, "每三小时检查追更的书"},
        {QStringLiteral("linked"), true, false, "每三小时检查追更的书"},
        {QStringLiteral("masked"), false, false, "已被屏蔽"},
        {QString(), false, false, "没有装定时器 audiobook-client-check.timer（Unit file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state ? c.state->toStdString() : "no manager");
        std::optional<SystemdManager> manager;
        if (c.state) {
            manager.emplace(timer, *c.state);
            ASSERT_TRUE(manager->registered());
        }
        CheckTimerSwitch* box = open();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), q("后台追更"));
        EXPECT_EQ(box->isEnabled(), c.enabled);
        EXPECT_EQ(box->isChecked(), c.ticked);
        EXPECT_TRUE(box->hint()->text().contains(q(c.said))) << box->hint()->text().toStdString();
        EXPECT_EQ(box->accessibleDescription(), box->hint()->text());
        EXPECT_EQ(box->toolTip(), box->hint()->text());
        EXPECT_EQ(box->hint()->focusPolicy(), c.enabled ? Qt::NoFocus : Qt::TabFocus);
        if (manager) {
            EXPECT_EQ(manager->calls(), QStringList{read});
        }
        save(); // the other settings are saved all the same
        EXPECT_EQ(messages.back(), q("配置成功！"));
    }
}

TEST_F(CheckTimerSwitchTest, SavingSwitchesTheTimerWhenTheBoxWasChanged) {
    SystemdManager manager(timer, QStringLiteral("disabled"));
    ASSERT_TRUE(manager.registered());
    const struct {
        bool tick;            // the switch as the user leaves it before saving
        QStringList switched; // the calls 保存配置 makes
    } steps[] = {
        {false, {}},
        {true,
         {"EnableUnitFiles([" + timer + "], false, true)", "Reload()",
          "StartUnit(" + timer + ", replace)", read}},
        {true, {}},
        {false,
         {"DisableUnitFiles([" + timer + "], false)", "Reload()",
          "StopUnit(" + timer + ", replace)", read}},
    };
    bool on = false;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.switched.isEmpty() ? "left as it was"
                                             : step.switched.front().toStdString());
        const qsizetype before = manager.calls().size();
        CheckTimerSwitch* box = open();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->isChecked(), on); // as the manager holds it, each time the window opens
        box->setChecked(step.tick);
        save();
        EXPECT_EQ(messages.back(), q("配置成功！"));
        EXPECT_EQ(manager.calls().mid(before + 1), step.switched);
        on = step.tick;
        EXPECT_EQ(manager.state(), on ? "enabled" : "disabled");
        EXPECT_EQ(box->isChecked(), on);
    }
}

// A refusal stops the switching where it came; the box says what the manager
// said, and the switch shows the state as it stands.
TEST_F(CheckTimerSwitchTest, ARefusalIsSaidAndTheStateShownAsItStands) {
    const struct {
        const char* refused;
        bool from, ticked_after;
        int calls; // made by 保存配置, the refused one included
        const char* said;
    } cases[] = {
        {"EnableUnitFiles", false, false, 1, "无法开启后台追更（Access denied）"},
        {"Reload", true, false, 2, "无法关闭后台追更（Access denied）"},
        {"StartUnit", false, true, 3, "无法开启后台追更（Access denied）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        SystemdManager manager(timer,
                               c.from ? QStringLiteral("enabled") : QStringLiteral("disabled"));
        manager.refuse(QString::fromLatin1(c.refused));
        CheckTimerSwitch* box = open();
        ASSERT_TRUE(box);
        box->setChecked(!c.from);
        save();
        EXPECT_EQ(messages.back(), q("配置失败！"));
        EXPECT_TRUE(details.back().contains(q(c.said))) << details.back().toStdString();
        EXPECT_EQ(manager.calls().size(), 1 + c.calls + 1); // read as it opens and again after
        EXPECT_EQ(box->isChecked(), c.ticked_after);
    }
}

} // namespace

// "后台追更" in the settings window, over the test's own session bus: with a
// stand-in for the user's systemd manager, the switch shows the timer's state
// as the window opens and 保存配置 switches it; with no manager on the bus the
// switch stays off and disabled and says why.
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

#include <functional>
#include <memory>

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const QString timer = QString::fromLatin1(check_timer_unit);

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

    // A settings window opened afresh, as the main window opens it.
    std::unique_ptr<SettingsWindow> open() {
        auto window = std::make_unique<SettingsWindow>();
        window->show();
        return window;
    }
    static CheckTimerSwitch* switch_of(const SettingsWindow& window) {
        auto* found = window.findChild<CheckTimerSwitch*>(q("后台追更"));
        EXPECT_TRUE(found);
        return found;
    }
    static void save(const SettingsWindow& window) {
        QTest::mouseClick(window.findChild<QPushButton*>(q("按钮2")), Qt::LeftButton);
    }
};

TEST_F(CheckTimerSwitchTest, ShowsTheTimersStateAndSwitchesItWhenSaved) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    SystemdManager manager(timer, QStringLiteral("disabled"));
    ASSERT_TRUE(manager.registered());
    const QString read = "GetUnitFileState(" + timer + ")";
    const struct {
        bool tick;            // the switch as the user leaves it before saving
        QStringList switched; // the calls 保存配置 makes, after the state is read
    } steps[] = {
        {false, {}},
        {true,
         {"EnableUnitFiles([" + timer + "], false, true)", "Reload()", "StartUnit(" + timer + ", replace)",
          read}},
        {true, {}},
        {false,
         {"DisableUnitFiles([" + timer + "], false)", "Reload()", "StopUnit(" + timer + ", replace)",
          read}},
    };
    bool on = false;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.switched.isEmpty() ? "left as it was" : step.switched.front().toStdString());
        const qsizetype before = manager.calls().size();
        auto window = open();
        CheckTimerSwitch* box = switch_of(*window);
        ASSERT_TRUE(box);
        EXPECT_EQ(manager.calls().mid(before), QStringList{read});
        EXPECT_EQ(box->text(), q("后台追更"));
        EXPECT_TRUE(box->isEnabled());
        EXPECT_EQ(box->isChecked(), on); // the manager's state, as the window opens
        EXPECT_FALSE(box->hint()->text().isEmpty());
        EXPECT_EQ(box->accessibleDescription(), box->hint()->text());
        EXPECT_EQ(box->toolTip(), box->hint()->text());

        box->setChecked(step.tick);
        save(*window);
        EXPECT_EQ(messages.back(), q("配置成功！"));
        EXPECT_EQ(manager.calls().mid(before + 1), step.switched);
        on = step.tick;
        EXPECT_EQ(manager.state(), on ? "enabled" : "disabled");
        EXPECT_EQ(box->isChecked(), on);
    }
}

// The switch says why it cannot switch, in its line, tooltip and description,
// and that line takes the switch's place on Tab; a refusal met while saving
// is said in the box and the switch shows the state as it stands.
TEST_F(CheckTimerSwitchTest, NoManagerOrARefusalIsSaid) {
    {
        auto window = open();
        CheckTimerSwitch* box = switch_of(*window);
        ASSERT_TRUE(box);
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_TRUE(box->hint()->text().contains(q("没有 systemd 用户管理器应答")));
        EXPECT_EQ(box->accessibleDescription(), box->hint()->text());
        EXPECT_EQ(box->toolTip(), box->hint()->text());
        EXPECT_EQ(box->hint()->focusPolicy(), Qt::TabFocus);
        save(*window);
        EXPECT_EQ(messages.back(), q("配置成功！")); // the other settings are saved
    }
    SystemdManager manager(timer, QStringLiteral("disabled"));
    manager.refuse(QStringLiteral("Reload"));
    auto window = open();
    CheckTimerSwitch* box = switch_of(*window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->hint()->focusPolicy(), Qt::NoFocus);
    box->setChecked(true);
    save(*window);
    EXPECT_EQ(messages.back(), q("配置失败！"));
    EXPECT_TRUE(details.back().contains(q("无法开启后台追更（Access denied）"))) << details.back().toStdString();
    // Enabled, though not started: the switch shows what the manager holds.
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(manager.calls().back(), "GetUnitFileState(" + timer + ")");
}

} // namespace

// The timer as the user's systemd manager knows it, over the test's own session
// bus: with a stand-in manager that keeps the calls, and with none (the bus
// then fails to start the one its service file names).
#include "check_timer/check_timer.hpp"
#include "support/systemd_manager.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace {

const QString timer = QString::fromLatin1(check_timer_unit);

bool mentions(const Text& text, const char* utf8) {
    return text.find(gbk(utf8)) != Text::npos;
}

TEST(CheckTimer, TheStateIsTheOneTheManagerHolds) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    struct Case {
        std::optional<QString> manager_state; // nullopt: no manager on the bus
        CheckTimerStatus::State state;
        const char* reason; // a piece of the reason, when unavailable
    };
    const Case cases[] = {
        {std::nullopt, CheckTimerStatus::unavailable, "没有 systemd 用户管理器应答"},
        {QStringLiteral("enabled"), CheckTimerStatus::on, nullptr},
        {QStringLiteral("enabled-runtime"), CheckTimerStatus::on, nullptr},
        {QStringLiteral("disabled"), CheckTimerStatus::off, nullptr},
        {QStringLiteral("linked"), CheckTimerStatus::off, nullptr},
        {QStringLiteral("masked"), CheckTimerStatus::unavailable, "已被屏蔽"},
        {QString(), CheckTimerStatus::unavailable, "没有装定时器"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manager_state ? c.manager_state->toStdString() : "no manager");
        std::optional<SystemdManager> manager;
        if (c.manager_state) {
            manager.emplace(timer, *c.manager_state);
            ASSERT_TRUE(manager->registered());
        }
        const CheckTimerStatus status = read_check_timer();
        EXPECT_EQ(status.state, c.state);
        if (c.reason) {
            EXPECT_TRUE(mentions(status.reason, c.reason)) << gbk_to_utf8(status.reason);
        } else {
            EXPECT_TRUE(status.reason.empty());
        }
        if (manager) {
            EXPECT_EQ(manager->calls(), QStringList{"GetUnitFileState(" + timer + ")"});
        }
    }
}

// As `systemctl --user enable --now` and `disable --now` do it: for good, then
// a reload, then the timer started or stopped.
TEST(CheckTimer, SwitchingEnablesOrDisablesForGoodReloadsAndStartsOrStops) {
    SystemdManager manager(timer, QStringLiteral("disabled"));
    ASSERT_TRUE(manager.registered());
    EXPECT_EQ(switch_check_timer(true), Text());
    EXPECT_EQ(manager.state(), "enabled");
    EXPECT_EQ(read_check_timer().state, CheckTimerStatus::on);
    EXPECT_EQ(switch_check_timer(false), Text());
    EXPECT_EQ(read_check_timer().state, CheckTimerStatus::off);
    const QStringList expected = {
        "EnableUnitFiles([" + timer + "], false, true)",
        "Reload()",
        "StartUnit(" + timer + ", replace)",
        "GetUnitFileState(" + timer + ")",
        "DisableUnitFiles([" + timer + "], false)",
        "Reload()",
        "StopUnit(" + timer + ", replace)",
        "GetUnitFileState(" + timer + ")",
    };
    EXPECT_EQ(manager.calls(), expected);
}

// A refusal stops the switch where it came, and says what the manager said.
TEST(CheckTimer, ARefusalOrNoManagerIsSaidAndStopsTheSwitch) {
    struct Case {
        const char* refused; // nullptr: no manager at all
        bool on;
        int calls;
        const char* said;
    };
    const Case cases[] = {
        {nullptr, true, 0, "没有 systemd 用户管理器应答"},
        {"EnableUnitFiles", true, 1, "无法开启后台追更（Access denied）"},
        {"Reload", false, 2, "无法关闭后台追更（Access denied）"},
        {"StartUnit", true, 3, "无法开启后台追更（Access denied）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused ? c.refused : "no manager");
        std::optional<SystemdManager> manager;
        if (c.refused) {
            manager.emplace(timer, c.on ? QStringLiteral("disabled") : QStringLiteral("enabled"));
            manager->refuse(QString::fromLatin1(c.refused));
        }
        const Text problem = switch_check_timer(c.on);
        EXPECT_TRUE(mentions(problem, c.said)) << gbk_to_utf8(problem);
        if (manager) {
            EXPECT_EQ(manager->calls().size(), c.calls);
        }
    }
}

} // namespace

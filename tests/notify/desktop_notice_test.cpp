// The notice as the desktop's notification service receives it, on a session
// bus of the test's own (dbus-run-session) with a small service standing in.
#include "notify/desktop_notice.hpp"
#include "support/notification_service.hpp"

#include <gtest/gtest.h>

#include <QTest>

TEST(DesktopNotice, ReachesTheNotificationServiceOnTheSessionBus) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    NotificationService service;
    ASSERT_TRUE(service.registered());

    const QString summary = QString::fromUtf8("下载结束");
    const QString body = QString::fromUtf8("已下载 19 集，失败 1 集");
    ASSERT_TRUE(send_desktop_notice(summary, body));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.received().empty(); }, 10000));
    ASSERT_EQ(service.received().size(), 1u);
    const NotificationService::Notice& notice = service.received()[0];
    EXPECT_EQ(notice.summary, summary);
    EXPECT_EQ(notice.body, body);
    EXPECT_EQ(notice.app, "audiobook-client");
    EXPECT_EQ(notice.icon, "io.github.audiobook_client");
    EXPECT_GT(notice.timeout, 0);
}

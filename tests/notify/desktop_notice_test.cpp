// The notice as the desktop's notification service receives it, on a session
// bus of the test's own (dbus-run-session) with a small service standing in.
#include "notify/desktop_notice.hpp"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QTest>
#include <QVariantMap>

namespace {

class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Notice {
        QString app, icon, summary, body;
        int timeout = 0;
    };
    std::vector<Notice> received;

  public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int timeout) {
        received.push_back({app, icon, summary, body, timeout});
        return uint(received.size());
    }
};

} // namespace

TEST(DesktopNotice, ReachesTheNotificationServiceOnTheSessionBus) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "run under dbus-run-session";
    NotificationService service;
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));

    const QString summary = QString::fromUtf8("下载结束");
    const QString body = QString::fromUtf8("到达 19 集，失败 1 集");
    ASSERT_TRUE(send_desktop_notice(summary, body));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.received.empty(); }, 10000));
    ASSERT_EQ(service.received.size(), 1u);
    EXPECT_EQ(service.received[0].summary, summary);
    EXPECT_EQ(service.received[0].body, body);
    EXPECT_EQ(service.received[0].app, "audiobook-client");
    EXPECT_GT(service.received[0].timeout, 0);
    bus.unregisterService("org.freedesktop.Notifications");
}

#include "desktop_notice_test.moc"

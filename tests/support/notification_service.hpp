#pragma once
// A stand-in for the desktop's notification service, on the session bus the
// test runs with (dbus-run-session): it keeps every Notify call it receives.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QString>

#include <vector>

class NotificationService : public QDBusVirtualObject {
  public:
    struct Notice {
        QString app, icon, summary, body;
        int timeout = 0;
    };

    NotificationService() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        registered_ = bus.registerVirtualObject(path(), this) &&
                      bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~NotificationService() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(path());
    }
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    bool registered() const { return registered_; }
    const std::vector<Notice>& received() const { return received_; }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QList<QVariant> a = message.arguments();
        if (message.interface() != QStringLiteral("org.freedesktop.Notifications") ||
            message.member() != QStringLiteral("Notify") || a.size() != 8)
            return false;
        received_.push_back(
            {a[0].toString(), a[2].toString(), a[3].toString(), a[4].toString(), a[7].toInt()});
        connection.send(message.createReply(QVariant::fromValue(uint(received_.size()))));
        return true;
    }

  private:
    static QString path() { return QStringLiteral("/org/freedesktop/Notifications"); }
    bool registered_ = false;
    std::vector<Notice> received_;
};

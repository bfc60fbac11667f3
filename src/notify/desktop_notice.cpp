#include "notify/desktop_notice.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr int shown_for_ms = 10000;

} // namespace

bool send_desktop_notice(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("audiobook-client") << 0u << QStringLiteral("io.github.audiobook_client")
         << summary << body << QStringList() << QVariantMap() << shown_for_ms;
    return bus.send(call);
}

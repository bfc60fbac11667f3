#include "check_timer/check_timer.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>

namespace {

constexpr int read_wait_ms = 3000;
// Enabling rewrites links and reloading reads every unit again.
constexpr int change_wait_ms = 15000;

QDBusMessage ask_manager(const char* method, const QVariantList& arguments, int wait_ms) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), QString::fromLatin1(method));
    call.setArguments(arguments);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return call.createErrorReply(QDBusError::Disconnected, QStringLiteral("no session bus"));
    return bus.call(call, QDBus::Block, wait_ms);
}

// The error came from the bus, not the manager: nobody took the call.
bool nobody_answered(const QDBusMessage& reply) {
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
    case QDBusError::NoNetwork:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
        return true;
    default:
        // A bus that would start the manager on demand but cannot.
        return reply.errorName().startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn."));
    }
}

Text no_manager() {
    return gbk("没有 systemd 用户管理器应答，无法定时追更。");
}

// What the manager said, in its own words after ours.
Text manager_said(const char* ours, const QDBusMessage& reply) {
    return gbk(ours) + gbk("（") + from_qstring(reply.errorMessage()) + gbk("）");
}

QString unit() {
    return QString::fromLatin1(check_timer_unit);
}

} // namespace

CheckTimerStatus read_check_timer() {
    const QDBusMessage reply = ask_manager("GetUnitFileState", {unit()}, read_wait_ms);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (nobody_answered(reply))
            return {CheckTimerStatus::unavailable, no_manager()};
        return {CheckTimerStatus::unavailable,
                manager_said("系统里没有装定时器 audiobook-client-check.timer", reply)};
    }
    const QString state = reply.arguments().front().toString();
    if (state.startsWith(QStringLiteral("enabled")))
        return {CheckTimerStatus::on, {}};
    if (state.startsWith(QStringLiteral("masked")))
        return {CheckTimerStatus::unavailable,
                gbk("定时器 audiobook-client-check.timer 已被屏蔽（systemctl --user unmask）。")};
    return {CheckTimerStatus::off, {}};
}

Text switch_check_timer(bool on) {
    const QStringList files{unit()};
    const QDBusMessage changed =
        on ? ask_manager("EnableUnitFiles", {files, false, true}, change_wait_ms)
           : ask_manager("DisableUnitFiles", {files, false}, change_wait_ms);
    const char* failed = on ? "无法开启后台追更" : "无法关闭后台追更";
    const auto problem = [failed](const QDBusMessage& reply) {
        return nobody_answered(reply) ? no_manager() : manager_said(failed, reply);
    };
    if (changed.type() != QDBusMessage::ReplyMessage)
        return problem(changed);
    const QDBusMessage reloaded = ask_manager("Reload", {}, change_wait_ms);
    if (reloaded.type() != QDBusMessage::ReplyMessage)
        return problem(reloaded);
    const QDBusMessage started = ask_manager(on ? "StartUnit" : "StopUnit",
                                             {unit(), QStringLiteral("replace")}, change_wait_ms);
    if (started.type() != QDBusMessage::ReplyMessage)
        return problem(started);
    return {};
}

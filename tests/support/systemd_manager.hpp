#pragma once
// A stand-in for the user's systemd manager on the session bus the test runs
// with (dbus-run-session): the Manager object of org.freedesktop.systemd1 with
// the calls that ask after a unit file and switch it, for one unit file whose
// state it holds. It keeps every call it receives. It answers from a thread of
// its own, over a connection of its own, so that a blocking call of the test's
// thread goes through the bus daemon as one to a real manager does.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QThread>

#include <map>

class SystemdManager : public QThread {
  public:
    // `state`: the unit file state GetUnitFileState answers ("enabled",
    // "disabled", ...); empty: no such unit file.
    explicit SystemdManager(QString unit, QString state = QStringLiteral("disabled"))
        : unit_(std::move(unit)), state_(std::move(state)) {
        start();
        ready_.acquire();
    }
    ~SystemdManager() override {
        quit();
        wait();
    }
    SystemdManager(const SystemdManager&) = delete;
    SystemdManager& operator=(const SystemdManager&) = delete;

    bool registered() const { return registered_; }
    // Every call, as "Method(arguments)", in order.
    QStringList calls() const {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
    QString state() const {
        QMutexLocker lock(&mutex_);
        return state_;
    }
    // From now on `method` is refused, as a manager refuses what it may not do.
    void refuse(const QString& method) {
        QMutexLocker lock(&mutex_);
        refused_ << method;
    }

  protected:
    void run() override {
        Object object(*this);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                            QStringLiteral("systemd-manager"));
        registered_ =
            bus.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), &object) &&
            bus.registerService(QStringLiteral("org.freedesktop.systemd1"));
        ready_.release();
        exec();
        bus.unregisterService(QStringLiteral("org.freedesktop.systemd1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/systemd1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("systemd-manager"));
    }

  private:
    struct Object : QDBusVirtualObject {
        SystemdManager& manager;
        explicit Object(SystemdManager& m) : manager(m) {}
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message,
                           const QDBusConnection& connection) override {
            if (message.interface() != QStringLiteral("org.freedesktop.systemd1.Manager"))
                return false;
            connection.send(manager.answer(message));
            return true;
        }
    };

    static QString shown(const QVariant& value) {
        if (value.metaType() == QMetaType::fromType<QStringList>())
            return QLatin1Char('[') + value.toStringList().join(QLatin1Char(',')) +
                   QLatin1Char(']');
        if (value.metaType() == QMetaType::fromType<bool>())
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        return value.toString();
    }

    QDBusMessage answer(const QDBusMessage& message) {
        QMutexLocker lock(&mutex_);
        QStringList arguments;
        for (const QVariant& value : message.arguments())
            arguments << shown(value);
        const QString method = message.member();
        calls_ << method + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) +
                      QLatin1Char(')');

        // The argument types the real manager takes.
        static const std::map<QString, QString> signatures = {
            {QStringLiteral("GetUnitFileState"), QStringLiteral("s")},
            {QStringLiteral("EnableUnitFiles"), QStringLiteral("asbb")},
            {QStringLiteral("DisableUnitFiles"), QStringLiteral("asb")},
            {QStringLiteral("Reload"), QString()},
            {QStringLiteral("StartUnit"), QStringLiteral("ss")},
            {QStringLiteral("StopUnit"), QStringLiteral("ss")},
        };
        const auto known = signatures.find(method);
        if (known == signatures.end())
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                QStringLiteral("Unknown method ") + method);
        if (message.signature() != known->second)
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                QStringLiteral("Invalid arguments ") + message.signature());
        if (refused_.contains(method))
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                QStringLiteral("Access denied"));
        const QVariant first = message.arguments().value(0);
        const bool ours = first.toString() == unit_ || first.toStringList() == QStringList{unit_};
        if (method != QStringLiteral("Reload") && (!ours || state_.isEmpty()))
            return message.createErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                                            QStringLiteral("Unit file ") + first.toString() +
                                                QStringLiteral(" does not exist."));
        if (method == QStringLiteral("GetUnitFileState"))
            return message.createReply(state_);
        // The changes to the links these two report are left out: nobody reads them.
        if (method == QStringLiteral("EnableUnitFiles"))
            state_ = QStringLiteral("enabled");
        if (method == QStringLiteral("DisableUnitFiles"))
            state_ = QStringLiteral("disabled");
        if (method.endsWith(QStringLiteral("UnitFiles")) || method == QStringLiteral("Reload"))
            return message.createReply();
        return message.createReply(QVariant::fromValue(
            QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1"))));
    }

    const QString unit_;
    mutable QMutex mutex_;
    QString state_;
    QStringList calls_;
    QStringList refused_;
    QSemaphore ready_;
    bool registered_ = false;
};

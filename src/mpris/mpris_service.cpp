#include "mpris/mpris_service.hpp"

#include "mpris/mpris_adaptors.hpp"

#include <QDBusConnection>

// The adaptors live on a QObject of their own, so the bus sees only the two
// interfaces.
MprisService::MprisService(ListeningControl& control, MprisHooks hooks, QObject* parent)
    : QObject(parent) {
    auto* exported = new QObject(this);
    auto* kept = new MprisHooks(std::move(hooks));
    connect(exported, &QObject::destroyed, [kept] { delete kept; });
    new MprisRootAdaptor(exported, *kept);
    new MprisPlayerAdaptor(exported, control, *kept);
    QDBusConnection bus = QDBusConnection::sessionBus();
    registered_ = bus.isConnected() && bus.registerObject(object_path, exported) &&
                  bus.registerService(service_name);
}

MprisService::~MprisService() {
    if (!registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(service_name);
    bus.unregisterObject(object_path);
}

#include "session/key_renewal.hpp"

#include "site/episode_address.hpp"
#include "http/web_access.hpp"

#include <QPointer>

KeyRenewal::KeyRenewal(const EpisodeSource& source, const Text& title, QObject* parent)
    : QObject(parent) {
    worker_ = std::thread([this, source, title] {
        set_request_cancel_flag(&cancelled_);
        const Text address = resolve_episode_address(source.catalogue_host, source.book_id,
                                                     source.category, title,
                                                     source.episode_number);
        set_request_cancel_flag(nullptr);
        if (cancelled_)
            return;
        QMetaObject::invokeMethod(
            this, [this, address] { emit finished(address); }, Qt::QueuedConnection);
    });
}

KeyRenewal::~KeyRenewal() {
    cancelled_ = true;
    worker_.join();
}

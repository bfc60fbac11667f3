#include "mpris/mpris_adaptors.hpp"

#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>

#include <algorithm>
#include <cmath>

MprisRootAdaptor::MprisRootAdaptor(QObject* owner, const MprisHooks& hooks)
    : QDBusAbstractAdaptor(owner), hooks_(hooks) {}

QString MprisRootAdaptor::identity() const {
    return to_qstring(gbk("有声书下载播放器"));
}

void MprisRootAdaptor::Raise() {
    if (hooks_.raise)
        hooks_.raise();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* owner, ListeningControl& control,
                                       const MprisHooks& hooks)
    : QDBusAbstractAdaptor(owner), control_(control), hooks_(hooks) {
    setAutoRelaySignals(true);
    connect(&player(), &Player::PlayStateChange, this, [this] {
        announce({{"PlaybackStatus", playback_status()}, {"Metadata", metadata()}});
    });
    connect(&control_, &ListeningControl::changed, this,
            [this] { announce({{"Rate", rate()}, {"Volume", volume()}}); });
}

Player& MprisPlayerAdaptor::player() const {
    return control_.player();
}

void MprisPlayerAdaptor::announce(const QVariantMap& changed) {
    QDBusMessage signal = QDBusMessage::createSignal(
        MprisService::object_path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

QString MprisPlayerAdaptor::playback_status() const {
    switch (player().playState()) {
    case Player::Playing:
    case Player::Buffering:
    case Player::Transitioning:
        return QStringLiteral("Playing");
    case Player::Paused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

double MprisPlayerAdaptor::rate() const {
    return control_.session().speed();
}

void MprisPlayerAdaptor::set_rate(double rate) {
    if (std::isfinite(rate) && rate > 0)
        control_.set_speed_tenths(int(std::lround(rate * 10)));
}

double MprisPlayerAdaptor::volume() const {
    return control_.session().volume() / 100.0;
}

void MprisPlayerAdaptor::set_volume(double volume) {
    if (std::isfinite(volume))
        control_.set_volume(int(std::lround(
            std::clamp(volume, 0.0, ListeningSession::max_volume / 100.0) * 100)));
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    const MprisTrack track = hooks_.track ? hooks_.track() : MprisTrack{};
    QVariantMap map;
    map["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(
        track.id ? QStringLiteral("/org/mpris/MediaPlayer2/track/%1").arg(track.id)
                 : QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")));
    if (!track.label.empty())
        map["xesam:title"] = to_qstring(track.label);
    if (!track.book.empty())
        map["xesam:album"] = to_qstring(track.book);
    if (const qint64 length = player().engine().duration(); length > 0)
        map["mpris:length"] = qlonglong(length) * 1000;
    if (!track.cover_file.empty())
        map["mpris:artUrl"] = QUrl::fromLocalFile(to_qstring(track.cover_file)).toString();
    return map;
}

qlonglong MprisPlayerAdaptor::position() const {
    return qlonglong(player().engine().position()) * 1000;
}

void MprisPlayerAdaptor::Next() {
    if (hooks_.next)
        hooks_.next();
}

void MprisPlayerAdaptor::Previous() {
    if (hooks_.previous)
        hooks_.previous();
}

void MprisPlayerAdaptor::Pause() {
    player().controls().pause();
}

void MprisPlayerAdaptor::PlayPause() {
    if (player().URL().empty() && hooks_.play)
        hooks_.play();
    else
        player().toggle_play_pause();
}

void MprisPlayerAdaptor::Stop() {
    player().controls().stop();
}

void MprisPlayerAdaptor::Play() {
    if (player().URL().empty() && hooks_.play)
        hooks_.play();
    else
        player().controls().play();
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
    PlaybackEngine& engine = player().engine();
    if (!engine.isSeekable())
        return;
    const qint64 target = std::max<qint64>(engine.position() + offset / 1000, 0);
    if (engine.duration() > 0 && target > engine.duration()) {
        Next(); // past the end: the next episode, as the desktop expects
        return;
    }
    engine.setPosition(target);
    emit Seeked(qlonglong(target) * 1000);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    PlaybackEngine& engine = player().engine();
    const QVariant current = metadata().value("mpris:trackid");
    if (track.path() != current.value<QDBusObjectPath>().path() || !engine.isSeekable() ||
        position < 0 || (engine.duration() > 0 && position / 1000 > engine.duration()))
        return;
    engine.setPosition(position / 1000);
    emit Seeked(position);
}

#pragma once
// The two MPRIS interfaces over the listening control and the window's hooks.
#include "mpris/mpris_service.hpp"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

class Player;

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ can_quit)
    Q_PROPERTY(bool CanRaise READ can_raise)
    Q_PROPERTY(bool HasTrackList READ has_track_list)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktop_entry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uri_schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mime_types)
  public:
    MprisRootAdaptor(QObject* owner, const MprisHooks& hooks);
    bool can_quit() const { return false; }
    bool can_raise() const { return true; }
    bool has_track_list() const { return false; }
    QString identity() const;
    QString desktop_entry() const { return QStringLiteral("audiobook-client"); }
    QStringList uri_schemes() const { return {"file", "http", "https"}; }
    QStringList mime_types() const { return {"audio/mpeg"}; }

  public slots:
    void Raise();
    void Quit() {}

  private:
    const MprisHooks& hooks_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playback_status)
    Q_PROPERTY(double Rate READ rate WRITE set_rate)
    Q_PROPERTY(double MinimumRate READ minimum_rate)
    Q_PROPERTY(double MaximumRate READ maximum_rate)
    Q_PROPERTY(double Volume READ volume WRITE set_volume)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ can_control)
    Q_PROPERTY(bool CanGoPrevious READ can_control)
    Q_PROPERTY(bool CanPlay READ can_control)
    Q_PROPERTY(bool CanPause READ can_control)
    Q_PROPERTY(bool CanSeek READ can_control)
    Q_PROPERTY(bool CanControl READ can_control)
  public:
    MprisPlayerAdaptor(QObject* owner, ListeningControl& control, const MprisHooks& hooks);

    QString playback_status() const;
    double rate() const;
    void set_rate(double rate);
    double minimum_rate() const { return 0.5; }
    double maximum_rate() const { return 3.0; }
    double volume() const;
    void set_volume(double volume);
    QVariantMap metadata() const;
    qlonglong position() const; // microseconds
    bool can_control() const { return true; }

  public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString&) {}

  signals:
    void Seeked(qlonglong position);

  private:
    void announce(const QVariantMap& changed);
    Player& player() const;

    ListeningControl& control_;
    const MprisHooks& hooks_;
};

#pragma once
// What plays the audio: a GStreamer pipeline (playbin) with a time stretch in
// its audio path, so that a speed other than 1× keeps the voice's pitch. No
// widgets; its messages are taken on the thread that owns it, from Qt's event
// loop.
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class PlaybackEngine : public QObject {
    Q_OBJECT
  public:
    // What the user asked for.
    enum PlaybackState { StoppedState, PlayingState, PausedState };
    // How far the media has come.
    enum MediaStatus {
        NoMedia,      // no address
        LoadingMedia, // opening: type, length and seeking not known yet
        LoadedMedia,  // open: ready to play, seek and report its length
        EndOfMedia,   // played to its end
        InvalidMedia, // could not be opened or played; errorString says why
    };

    explicit PlaybackEngine(QObject* parent = nullptr);
    ~PlaybackEngine() override;
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // A new address opens it (without playing); the same address again does
    // nothing, an empty one closes the media.
    void setSource(const QUrl& source);
    QUrl source() const;

    void play();
    void pause();
    // Stops and goes back to the start; the media stays open.
    void stop();

    PlaybackState playbackState() const;
    MediaStatus mediaStatus() const;
    bool hasError() const;
    QString errorString() const;

    // Milliseconds of the media.
    qint64 position() const;
    qint64 duration() const;
    bool isSeekable() const;
    void setPosition(qint64 position);

    // The speed, kept for every source opened later; the pitch stays.
    double playbackRate() const;
    void setPlaybackRate(double rate);

    // Linear, 0 to 1.
    float volume() const;
    void setVolume(float volume);

  signals:
    void sourceChanged(const QUrl& source);
    void playbackStateChanged(PlaybackEngine::PlaybackState state);
    void mediaStatusChanged(PlaybackEngine::MediaStatus status);
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void seekableChanged(bool seekable);
    void playbackRateChanged(double rate);
    void errorOccurred(const QString& reason);

  private:
    struct Pipeline;
    void take_messages();
    void on_open();
    void on_seek_done();
    void on_end();
    void on_error(const QString& reason);
    void update_duration();
    void update_position();
    void apply_target_state();
    void seek(qint64 position);
    void set_playback_state(PlaybackState state);
    void set_media_status(MediaStatus status);
    void close();

    std::unique_ptr<Pipeline> pipeline_;
    QTimer bus_timer_;
    QUrl source_;
    PlaybackState state_ = StoppedState;
    MediaStatus status_ = NoMedia;
    QString error_;
    qint64 position_ = 0;
    qint64 duration_ = 0;
    bool seekable_ = false;
    double rate_ = 1.0;
    float volume_ = 1.0f;
};

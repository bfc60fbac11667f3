#pragma once
// What plays the audio: a GStreamer pipeline (playbin) whose audio path holds a
// silence cutter, a time stretch (a speed other than 1× keeps the voice's
// pitch), the gain (up to 2×) and a limiter that rounds off what the gain
// pushes past full scale. No widgets; its messages are taken on the thread
// that owns it, from Qt's event loop.
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

    // Linear, 0 to max_volume; above 1 the limiter keeps peaks from clipping.
    static constexpr float max_volume = 2.0f;
    float volume() const;
    void setVolume(float volume);

    // Every pause longer than silence_kept_ms is cut to that length, for the
    // sources opened from now on and the one open. The position stays the
    // media's own: what was cut is counted in it.
    static constexpr qint64 silence_kept_ms = 250;
    bool skipsSilence() const;
    void setSkipSilence(bool on);
    // Milliseconds of media cut out of the source open since it was opened.
    qint64 silenceSkipped() const;

  signals:
    void sourceChanged(const QUrl& source);
    void playbackStateChanged(PlaybackEngine::PlaybackState state);
    void mediaStatusChanged(PlaybackEngine::MediaStatus status);
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void seekableChanged(bool seekable);
    void playbackRateChanged(double rate);
    void errorOccurred(const QString& reason);
    void silenceSkippedChanged(qint64 ms);

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
    qint64 skipped_ = 0;
};

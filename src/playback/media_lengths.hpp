#pragma once
// The lengths of audio files on disk, read one after another on a worker
// thread (GStreamer opens each into a sink that plays nothing), so that a big
// folder never holds up the window. A file is read once; what was read is kept.
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class MediaLengths : public QObject {
    Q_OBJECT
  public:
    explicit MediaLengths(QObject* parent = nullptr);
    ~MediaLengths() override; // the file being read gives up
    MediaLengths(const MediaLengths&) = delete;
    MediaLengths& operator=(const MediaLengths&) = delete;

    // The length of `file` in milliseconds once read; until then nothing, and
    // the file waits its turn (asked once).
    std::optional<qint64> length(const QString& file);
    // The files still waiting are no longer wanted (another list is shown).
    void forget_waiting();

  signals:
    // Read; 0 when the file could not be opened.
    void lengthRead(const QString& file, qint64 ms);

  private:
    struct Worker;
    void take(const QString& file, qint64 ms);
    std::unique_ptr<Worker> worker_;
};

// The length of an audio file in milliseconds, 0 when it cannot be opened;
// gives up within a moment once `stop` is set. Blocks: off the GUI thread.
qint64 read_media_length(const QString& file, const std::atomic<bool>* stop = nullptr);

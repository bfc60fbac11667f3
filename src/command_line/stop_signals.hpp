#pragma once
// SIGINT and SIGTERM as an event of the event loop: the handler only writes
// the signal's number to a pipe, which a socket notifier reads, so that the
// work is stopped from the loop, the way closing the window stops it.
#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT
  public:
    // Catches both signals from now on, until destroyed (one object at a time).
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool stopped() const { return signal_ != 0; }

  signals:
    void stopRequested(int signal);

  private:
    void read_pipe();

    QSocketNotifier* notifier_ = nullptr;
    int signal_ = 0;
};

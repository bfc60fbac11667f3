#pragma once
// One command of the command line at work: it starts, may be stopped (by
// SIGINT or SIGTERM) and ends with its outcome.
#include "session/run_report.hpp"

#include <QObject>

class Command : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    virtual void start() = 0;
    // Stops at once, keeping what arrived in part; `finished` follows.
    virtual void stop() = 0;

  signals:
    void finished(const CommandOutcome& outcome);
};

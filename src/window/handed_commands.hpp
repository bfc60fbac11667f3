#pragma once
// The commands a later start hands to the window while it runs, so that only
// one program writes the books, 追更.ini and the library: the window does
// them through its own book session, shows them, and answers with the outcome
// the command line would print. One at a time; a download while the window's
// own run is under way is refused as busy. Commands that only read, and a
// download into another save folder, are left to the command line.
//
// A command started before the window may still be writing (a check on a
// timer): while it holds its lock the window's follow check does not start,
// and once it ends the window reads the followed books and the book folders
// again, so that it writes nothing older than what the command wrote.
#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>

class HandedCommand;
class QTimer;
class MainWindow;
class SingleInstance;
struct CommandOptions;
struct CommandOutcome;

class HandedCommands : public QObject {
    Q_OBJECT
  public:
    HandedCommands(MainWindow& window, SingleInstance& instance, QObject* parent = nullptr);
    ~HandedCommands() override;

  private:
    void take(HandedCommand* command);
    void next();
    void done();
    void run(HandedCommand& command, const CommandOptions& options);
    void download(const CommandOptions& options);
    void check(const CommandOptions& options);
    void follow(const CommandOptions& options);
    void answer(const CommandOutcome& outcome);
    bool another_writer();
    void catch_up();

    MainWindow& window_;
    std::deque<QPointer<HandedCommand>> waiting_;
    QPointer<HandedCommand> current_;
    std::unique_ptr<QObject> job_; // the connections of the command under way
    QTimer* writer_watch_ = nullptr; // runs while another program held the lock
};

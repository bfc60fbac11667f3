#pragma once
// A command handed to the program running, which does it and answers with its
// outcome: a later start that would write the same files as the window gives
// the window the work instead, waits for the answer and prints it. The command
// travels on the single-instance socket as a list of arguments marked as a
// command; the answer is the exit code and the lines to print.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLocalSocket;

// The first of the arguments that marks them as a command to answer.
QString handed_command_marker();

// The program's side: one command, answered once.
class HandedCommand : public QObject {
    Q_OBJECT
  public:
    HandedCommand(QLocalSocket* socket, QStringList arguments, QObject* parent = nullptr);

    // The command's own arguments ("download", the address, ...).
    const QStringList& arguments() const { return arguments_; }
    // Sends the outcome and hangs up, then goes. An exit code below 0 tells
    // the start to do the work itself.
    void answer(int exit_code, const QStringList& lines, const QStringList& errors);

  signals:
    // The start went away before the answer (it was stopped).
    void abandoned();

  private:
    QPointer<QLocalSocket> socket_;
    QStringList arguments_;
    bool answered_ = false;
};

// The later start's side.
class CommandHandOver : public QObject {
    Q_OBJECT
  public:
    explicit CommandHandOver(QObject* parent = nullptr);
    ~CommandHandOver() override;

    // Hands the command to the program listening at `path`; false when none
    // listens there.
    bool start(const QString& path, const QStringList& arguments);
    // Hangs up: the program is told the command was abandoned.
    void cancel();

  signals:
    void answered(int exit_code, const QStringList& lines, const QStringList& errors);
    // The program ended, or hung up, without an answer.
    void lost();

  private:
    void read();

    QLocalSocket* socket_ = nullptr;
    bool done_ = false;
};

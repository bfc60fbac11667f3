#pragma once
// One program at a time per user: the first start listens on a local socket in
// the user's runtime folder; a later start hands its arguments to it there and
// ends, and the first is told so (to come to the front). Needs no session bus.
#include <QObject>
#include <QString>
#include <QStringList>

class HandedCommand;
class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // `name`: the socket's file name in the user's runtime folder.
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the first program: from now on it receives the
    // hand-overs of later starts. False when another one runs, which then has
    // `arguments`. A socket left by a program that ended without removing it
    // is taken over; when no socket can be made, the program runs all the same.
    bool claim(const QStringList& arguments);

    // The socket's full path.
    QString server_path() const { return path_; }

  signals:
    // A later start handed over its arguments.
    void handed_over(const QStringList& arguments);
    // A later start handed over a command to do and answer (see
    // handed_command.hpp). With nothing connected, the start does it itself.
    void commandHanded(HandedCommand* command);

  private:
    bool hand_over(const QStringList& arguments) const;
    bool listen();
    void take(QLocalSocket* socket);
    void take_command(QLocalSocket* socket, const QStringList& arguments);

    QString path_;
    QLocalServer* server_ = nullptr;
};

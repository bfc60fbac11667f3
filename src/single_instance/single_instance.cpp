#include "single_instance/single_instance.hpp"

#include "single_instance/handed_command.hpp"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMetaMethod>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr int connect_wait_ms = 1000;
constexpr int answer_wait_ms = 3000;
constexpr int turn_wait_ms = 5000;
constexpr auto stream_version = QDataStream::Qt_6_0;

// The user's runtime folder (XDG_RUNTIME_DIR); else the temporary folder, with
// the user in the name.
QString socket_path(const QString& name) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QLatin1Char('/') + name;
    return QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') +
           QString::number(::getuid());
}

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), path_(socket_path(name)) {}

SingleInstance::~SingleInstance() = default; // the server, a child, removes its socket

// Starts at the same moment take turns, so that none removes a socket another
// has just made; a turn a crashed program held is taken back by QLockFile.
bool SingleInstance::claim(const QStringList& arguments) {
    QLockFile turn(path_ + QStringLiteral(".lock"));
    turn.tryLock(turn_wait_ms);
    if (hand_over(arguments))
        return false;
    if (!listen())
        qWarning("audiobook-client: cannot listen on %s; later starts will run beside this one",
                 qPrintable(path_));
    return true;
}

// True once the arguments are with a program listening on the socket (or it
// accepted them and is too busy to say so: a second window is no better).
bool SingleInstance::hand_over(const QStringList& arguments) const {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(connect_wait_ms))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(stream_version);
    out << arguments;
    socket.write(message);
    socket.waitForBytesWritten(answer_wait_ms);
    socket.waitForReadyRead(answer_wait_ms);
    return true;
}

// Nobody answered on the socket: a file there is what a crashed program left.
bool SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection())
            take(socket);
    });
    return true;
}

// Reads one list of arguments, answers that it arrived, and hangs up.
void SingleInstance::take(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        QDataStream in(socket);
        in.setVersion(stream_version);
        in.startTransaction();
        QStringList arguments;
        in >> arguments;
        if (!in.commitTransaction())
            return; // the rest is still on its way
        if (!arguments.isEmpty() && arguments.front() == handed_command_marker()) {
            take_command(socket, arguments.mid(1));
            return;
        }
        socket->write("1");
        socket->flush();
        socket->disconnectFromServer();
        emit handed_over(arguments);
    });
}

// A command stays on its socket until it is answered.
void SingleInstance::take_command(QLocalSocket* socket, const QStringList& arguments) {
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    auto* command = new HandedCommand(socket, arguments, this);
    if (isSignalConnected(QMetaMethod::fromSignal(&SingleInstance::commandHanded)))
        emit commandHanded(command);
    else
        command->answer(-1, {}, {});
}

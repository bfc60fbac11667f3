#include "single_instance/handed_command.hpp"

#include <QDataStream>
#include <QLocalSocket>

namespace {

constexpr int connect_wait_ms = 1000;
constexpr auto stream_version = QDataStream::Qt_6_0;

} // namespace

QString handed_command_marker() {
    return QStringLiteral("\x01" "command");
}

HandedCommand::HandedCommand(QLocalSocket* socket, QStringList arguments, QObject* parent)
    : QObject(parent), socket_(socket), arguments_(std::move(arguments)) {
    connect(socket, &QLocalSocket::disconnected, this, [this] {
        if (!answered_) {
            answered_ = true;
            emit abandoned();
            deleteLater();
        }
    });
}

void HandedCommand::answer(int exit_code, const QStringList& lines, const QStringList& errors) {
    if (answered_)
        return;
    answered_ = true;
    if (socket_) {
        QByteArray message;
        QDataStream out(&message, QIODevice::WriteOnly);
        out.setVersion(stream_version);
        out << qint32(exit_code) << lines << errors;
        socket_->write(message);
        socket_->flush();
        socket_->disconnectFromServer();
    }
    deleteLater();
}

CommandHandOver::CommandHandOver(QObject* parent) : QObject(parent) {}

CommandHandOver::~CommandHandOver() {
    done_ = true;
    delete socket_;
}

bool CommandHandOver::start(const QString& path, const QStringList& arguments) {
    socket_ = new QLocalSocket(this);
    socket_->connectToServer(path);
    if (!socket_->waitForConnected(connect_wait_ms)) {
        delete socket_;
        socket_ = nullptr;
        return false;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(stream_version);
    out << (QStringList{handed_command_marker()} + arguments);
    socket_->write(message);
    socket_->flush();
    connect(socket_, &QLocalSocket::readyRead, this, [this] { read(); });
    connect(socket_, &QLocalSocket::disconnected, this, [this] {
        read();
        if (!done_) {
            done_ = true;
            emit lost();
        }
    });
    return true;
}

void CommandHandOver::cancel() {
    done_ = true;
    if (socket_)
        socket_->abort();
}

void CommandHandOver::read() {
    if (done_ || !socket_)
        return;
    QDataStream in(socket_);
    in.setVersion(stream_version);
    in.startTransaction();
    qint32 exit_code = 0;
    QStringList lines, errors;
    in >> exit_code >> lines >> errors;
    if (!in.commitTransaction())
        return; // the rest is on its way
    done_ = true;
    emit answered(exit_code, lines, errors);
}

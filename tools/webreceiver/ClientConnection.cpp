#include "ClientConnection.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace zorvel::web {

ClientConnection::ClientConnection(QTcpSocket* socket, RequestHandler& handler, QObject* parent)
    : QObject(parent), socket_(socket), handler_(handler)
{
    socket_->setParent(this);
    peer_ = socket_->peerAddress().toString() + ':' + QString::number(socket_->peerPort());
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        parser_.append(socket_->readAll());
        processBuffered();
    });
    connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (socket_->bytesAvailable() > 0) {
        parser_.append(socket_->readAll());
        processBuffered();
    }
}

void ClientConnection::processBuffered()
{
    while (!waiting_ && !finished_) {
        HttpRequest request;
        Reply reply;
        switch (parser_.next(request)) {
        case HttpRequestParser::Result::NeedMore:
            return;
        case HttpRequestParser::Result::Ready:
            reply = handler_.handle(request, peer_);
            break;
        case HttpRequestParser::Result::Failed:
            reply = handler_.handleMalformed(parser_.errorStatus(), parser_.errorText(), parser_.pending(), peer_);
            reply.close = true;
            break;
        }
        if (reply.delayMs > 0) {
            waiting_ = true;
            QTimer::singleShot(reply.delayMs, this, [this, reply] {
                waiting_ = false;
                deliver(reply);
                processBuffered();
            });
            return;
        }
        deliver(reply);
    }
}

void ClientConnection::deliver(const Reply& reply)
{
    if (finished_ || socket_->state() != QAbstractSocket::ConnectedState) return;
    if (reply.reset) {
        resetConnection();
        return;
    }
    socket_->write(reply.bytes);
    if (reply.close) {
        finished_ = true;
        socket_->disconnectFromHost();  // after the answer has been written
    }
}

void ClientConnection::resetConnection()
{
    // A zero linger time makes the close send RST: the client sees a reset, not an end.
    const linger noLinger{1, 0};
    ::setsockopt(int(socket_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    finished_ = true;
    socket_->abort();
    deleteLater();
}

} // namespace zorvel::web

#pragma once
// One accepted TCP connection: feeds the parser, hands each complete request to the
// handler and carries out its reply, one request at a time so a late answer keeps the
// order of pipelined requests.
#include "HttpRequestParser.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace zorvel::web {

struct Reply {
    bool reset = false;  // close at once, no answer
    int delayMs = 0;
    QByteArray bytes;
    bool close = false;  // close after the answer
};

class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    virtual Reply handle(const HttpRequest& request, const QString& peer) = 0;
    virtual Reply handleMalformed(int status, const QString& error, const QByteArray& received,
                                  const QString& peer) = 0;
};

class ClientConnection : public QObject {
    Q_OBJECT
public:
    ClientConnection(QTcpSocket* socket, RequestHandler& handler, QObject* parent);

private:
    void processBuffered();
    void deliver(const Reply& reply);
    void resetConnection();

    QTcpSocket* socket_;
    RequestHandler& handler_;
    HttpRequestParser parser_;
    QString peer_;
    bool waiting_ = false;   // a late answer is pending
    bool finished_ = false;  // closing: later bytes are ignored
};

} // namespace zorvel::web

#pragma once
// The listening socket and the handling of each request: decode, decide the answer,
// print and log the record, then answer.
#include "AnswerPolicy.h"
#include "ClientConnection.h"
#include "Options.h"
#include "Outbox.h"
#include "RequestRecord.h"
#include "TlsTcpServer.h"

#include <QFile>
#include <QObject>

#include <optional>

namespace zorvel::web {

class ReceiverServer : public QObject, public RequestHandler {
    Q_OBJECT
public:
    explicit ReceiverServer(ReceiverOptions options, QObject* parent = nullptr);

    // Opens the log and listens on 127.0.0.1; an error text, or empty.
    QString start();
    quint16 port() const { return server_.serverPort(); }
    bool tls() const { return server_.tls(); }

    Reply handle(const HttpRequest& request, const QString& peer) override;
    Reply handleMalformed(int status, const QString& error, const QByteArray& received,
                          const QString& peer) override;

private:
    ControlOverrides readControl();
    // Carries out a poll or a report that no fault answered otherwise.
    void answerOutbox(const OutboxRequest& outbox, RequestRecord& record, std::optional<QByteArray>& body);
    void write(const RequestRecord& record);

    ReceiverOptions options_;
    AnswerPolicy policy_;
    TlsTcpServer server_;
    QFile log_;
    int sequence_ = 0;
    QStringList lastControlWarnings_;
    Outbox outbox_;
    QStringList lastOutboxWarnings_;
};

} // namespace zorvel::web

#include "ReceiverServer.h"

#include "HttpResponse.h"

#include <QDateTime>
#include <QTcpSocket>

#include <cstdio>

namespace zorvel::web {

ReceiverServer::ReceiverServer(ReceiverOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), policy_(options_.faults)
{
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection())
            new ClientConnection(socket, *this, this);
    });
}

QString ReceiverServer::start()
{
    if (!options_.logPath.isEmpty()) {
        log_.setFileName(options_.logPath);
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Append))
            return QStringLiteral("cannot open log %1: %2").arg(options_.logPath, log_.errorString());
    }
    if (!options_.tlsCertificate.isEmpty())
        if (const QString error = server_.useTls(options_.tlsCertificate, options_.tlsKey); !error.isEmpty())
            return error;
    if (!server_.listen(QHostAddress::LocalHost, options_.port))
        return QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(options_.port).arg(server_.errorString());
    return {};
}

ControlOverrides ReceiverServer::readControl()
{
    ParsedControl control = readControlFile(options_.controlPath);
    // Complain once per change, not on every request.
    if (control.warnings != lastControlWarnings_) {
        for (const QString& warning : control.warnings) std::fprintf(stderr, "%s\n", qPrintable(warning));
        std::fflush(stderr);
        lastControlWarnings_ = control.warnings;
    }
    return control.overrides;
}

Reply ReceiverServer::handle(const HttpRequest& request, const QString& peer)
{
    RequestRecord record;
    record.sequence = ++sequence_;
    record.receivedMs = QDateTime::currentMSecsSinceEpoch();
    record.peer = peer;
    record.method = request.method;
    record.target = request.target;
    const SplitTarget split = splitTarget(request.target);
    record.path = split.path;
    record.query = split.query;
    for (const auto& [name, value] : request.headers)
        if (name.compare("Idempotency-Key", Qt::CaseInsensitive) == 0) record.idempotencyKeys.append(value);

    Reply reply;
    const DecodedQuery query = decodeQuery(split.query);
    record.parameters = query.parameters;
    if (!query.ok()) {
        // A badly encoded query is the sender's fault: say so, and skip the fault script.
        record.error = QLatin1String("query ") + query.error;
        record.status = 400;
    } else {
        const Answer answer = policy_.decide(split.path, split.query, split.hasQuery, readControl());
        record.reset = answer.kind == Answer::Kind::Reset;
        record.status = record.reset ? 0 : answer.status;
        record.delayMs = answer.delayMs;
        record.location = answer.location;
        record.refused = answer.refused;
        reply.reset = record.reset;
        reply.delayMs = answer.delayMs;
    }
    // The record is written before the answer, so a client that has its answer finds it.
    write(record);
    if (!reply.reset)
        reply.bytes = buildResponse(record.status, request.keepAlive, record.location, request.method == "HEAD");
    reply.close = !request.keepAlive;
    return reply;
}

Reply ReceiverServer::handleMalformed(int status, const QString& error, const QByteArray& received,
                                      const QString& peer)
{
    RequestRecord record;
    record.sequence = ++sequence_;
    record.receivedMs = QDateTime::currentMSecsSinceEpoch();
    record.peer = peer;
    record.target = received.left(received.indexOf('\n') < 0 ? received.size() : received.indexOf('\n'));
    record.error = error;
    record.status = status;
    write(record);
    return Reply{false, 0, buildResponse(status, false), true};
}

void ReceiverServer::write(const RequestRecord& record)
{
    const QByteArray line = consoleLine(record).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    if (log_.isOpen()) {
        log_.write(jsonLine(record) + '\n');
        log_.flush();
    }
}

} // namespace zorvel::web

#include "ReceiverServer.h"

#include "HttpResponse.h"

#include <QDateTime>
#include <QTcpSocket>

#include <cstdio>

namespace zorvel::web {

ReceiverServer::ReceiverServer(ReceiverOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), policy_(options_.faults), outbox_(options_.outbox)
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
    if (const QString error = outbox_.start(); !error.isEmpty()) return error;
    if (!options_.tlsCertificate.isEmpty())
        if (const QString error = server_.useTls(options_.tlsCertificate, options_.tlsKey); !error.isEmpty())
            return error;
    if (!server_.listen(QHostAddress::LocalHost, options_.port))
        return QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(options_.port).arg(server_.errorString());
    return {};
}

namespace {

// Files re-read on every request complain once per change, not on every request.
void warnOnChange(const QStringList& warnings, QStringList& last)
{
    if (warnings == last) return;
    for (const QString& warning : warnings) std::fprintf(stderr, "%s\n", qPrintable(warning));
    std::fflush(stderr);
    last = warnings;
}

} // namespace

ControlOverrides ReceiverServer::readControl()
{
    ParsedControl control = readControlFile(options_.controlPath);
    warnOnChange(control.warnings, lastControlWarnings_);
    return control.overrides;
}

void ReceiverServer::answerOutbox(const OutboxRequest& outbox, RequestRecord& record, std::optional<QByteArray>& body)
{
    if (outbox.kind == OutboxRequest::Kind::Poll) {
        // A fault or a redirect answers as for any other path; otherwise the outbox speaks.
        if (record.status != 200 || !record.location.isEmpty()) return;
        PollAnswer answer = outbox_.poll();
        warnOnChange(answer.warnings, lastOutboxWarnings_);
        record.status = answer.status;
        record.offered = answer.offered;
        if (answer.served) body = answer.body;
        return;
    }
    record.repeat = outbox_.isRepeat(outbox.report);
    if (record.status / 100 == 2) outbox_.acknowledge(outbox.report);
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
    const OutboxRequest outbox =
        query.ok() ? outbox_.classify(request.method, split.path, query.parameters, record.idempotencyKeys)
                   : OutboxRequest{};
    if (outbox.kind != OutboxRequest::Kind::None)
        record.outbox = outbox.kind == OutboxRequest::Kind::Poll ? QStringLiteral("poll") : QStringLiteral("report");
    std::optional<QByteArray> body;  // the outbox's answer instead of the usual short text
    if (!query.ok()) {
        // A badly encoded query is the sender's fault: say so, and skip the fault script.
        record.error = QLatin1String("query ") + query.error;
        record.status = 400;
    } else if (!outbox.error.isEmpty()) {
        // So is a report the web application could not read.
        record.error = outbox.error;
        record.status = outbox.errorStatus;
    } else {
        const Answer answer = policy_.decide(split.path, split.query, split.hasQuery, readControl());
        record.reset = answer.kind == Answer::Kind::Reset;
        record.status = record.reset ? 0 : answer.status;
        record.delayMs = answer.delayMs;
        record.location = answer.location;
        record.refused = answer.refused;
        reply.reset = record.reset;
        reply.delayMs = answer.delayMs;
        if (!record.reset && outbox.kind != OutboxRequest::Kind::None) answerOutbox(outbox, record, body);
    }
    // The record is written before the answer, so a client that has its answer finds it.
    write(record);
    const bool head = request.method == "HEAD";
    if (reply.reset) {
        // nothing to send
    } else if (body) {
        reply.bytes = buildResponseWithBody(record.status, request.keepAlive, "application/json", *body, head);
    } else {
        reply.bytes = buildResponse(record.status, request.keepAlive, record.location, head);
    }
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

#include "Outbox.h"

#include "ByteText.h"
#include "OutboxText.h"

namespace zorvel::web {

namespace {

// A file that grew beyond these is a mistake, not an outbox; the raw one may be huge on purpose.
constexpr qint64 maxOutboxFileBytes = 16 << 20;
constexpr qint64 maxRawFileBytes = 256 << 20;

struct FileBytes {
    QByteArray bytes;
    QString error;
};

FileBytes readCapped(const QString& path, qint64 cap)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    const QString tooLarge = QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(cap));
    // Checked before and after: read(cap) would reserve the whole cap on every poll, and the
    // file may grow while it is read.
    if (file.size() > cap) return {{}, tooLarge};
    FileBytes out{file.readAll(), {}};
    if (out.bytes.size() > cap) out = {{}, tooLarge};
    return out;
}

} // namespace

bool isKnownState(const QByteArray& state)
{
    static const QByteArrayList known{"queued", "sending", "sent", "delivered", "failed", "unknown"};
    return known.contains(state);
}

Outbox::Outbox(OutboxOptions options) : options_(std::move(options)) {}

QString Outbox::start()
{
    if (options_.statesPath.isEmpty()) return {};
    states_.setFileName(options_.statesPath);
    if (!states_.open(QIODevice::WriteOnly | QIODevice::Append))
        return QStringLiteral("cannot open states file %1: %2").arg(options_.statesPath, states_.errorString());
    return {};
}

OutboxRequest Outbox::classify(const QByteArray& method, const QByteArray& path,
                               const QList<QueryParameter>& parameters,
                               const QList<QByteArray>& idempotencyKeys) const
{
    OutboxRequest out;
    if (options_.path.isEmpty() || path != options_.path) return out;
    if (method != "GET" && method != "HEAD") {
        out.error = QStringLiteral("the outbox takes GET only");
        out.errorStatus = 405;
        return out;
    }
    // Each field of a report at most once: two values would leave it unclear which counts.
    QList<const QByteArray*> found(4, nullptr);
    const QByteArrayList names{"id", "state", "time", "detail"};
    for (const QueryParameter& p : parameters) {
        const qsizetype at = names.indexOf(p.name);
        if (at < 0) continue;
        if (found[at]) {
            out.error = QStringLiteral("report with %1 twice").arg(QString::fromLatin1(p.name));
            return out;
        }
        found[at] = &p.value;
    }
    if (!found[0]) {
        out.kind = OutboxRequest::Kind::Poll;
        return out;
    }
    out.kind = OutboxRequest::Kind::Report;
    StateReport& r = out.report;
    r.id = *found[0];
    r.state = found[1] ? *found[1] : QByteArray();
    r.time = found[2] ? *found[2] : QByteArray();
    r.detail = found[3] ? *found[3] : QByteArray();
    r.repeatKey = idempotencyKeys.isEmpty() ? '"' + r.id + ':' + r.state + '"' : idempotencyKeys.first();
    if (!isValidMessageId(r.id)) out.error = QStringLiteral("report for a malformed id");
    else if (!found[1]) out.error = QStringLiteral("report without state");
    else if (!isKnownState(r.state)) out.error = QStringLiteral("report with an unknown state");
    return out;
}

PollAnswer Outbox::poll() const
{
    PollAnswer out;
    out.status = options_.pollStatus;
    if (!options_.rawPath.isEmpty()) {
        FileBytes raw = readCapped(options_.rawPath, maxRawFileBytes);
        if (!raw.error.isEmpty()) {
            out.status = 500;
            out.served = false;
            out.warnings.append(raw.error);
        }
        out.body = raw.bytes;
        out.contentType = "application/json";
        return out;
    }
    ParsedOutbox parsed;
    if (!options_.messagesPath.isEmpty()) {
        // No file yet is an empty outbox, so the demo may start before writing one.
        if (QFile::exists(options_.messagesPath)) {
            const FileBytes file = readCapped(options_.messagesPath, maxOutboxFileBytes);
            if (file.error.isEmpty()) parsed = parseOutbox(file.bytes);
            else parsed.warnings.append(file.error);
        }
    }
    QList<OutboxMessage> offered;
    for (const OutboxMessage& m : parsed.messages) {
        if (offered.size() == maxMessagesPerPoll) break;
        if (!acknowledgedIds_.contains(m.id)) offered.append(m);
    }
    out.body = pollBody(offered);
    out.contentType = "application/json";
    out.offered = int(offered.size());
    out.warnings = parsed.warnings;
    return out;
}

void Outbox::acknowledge(const StateReport& report)
{
    acknowledgedIds_.insert(QString::fromLatin1(report.id));
    if (answeredKeys_.contains(report.repeatKey)) return;
    answeredKeys_.insert(report.repeatKey);
    if (!states_.isOpen()) return;
    const auto field = [](const QByteArray& bytes) { return escapeField(readBytes(bytes).text); };
    states_.write(field(report.id) + '\t' + field(report.state) + '\t' + field(report.time) + '\t' +
                  field(report.detail) + '\n');
    states_.flush();
}

} // namespace zorvel::web

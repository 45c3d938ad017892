#include "Options.h"

#include <QCommandLineParser>

namespace zorvel::web {

namespace {

const char* const description =
    "A local web receiver for trying and testing Zorvel: prints each request's decoded\n"
    "query parameters as they arrive, logs them as JSON lines, and can misbehave on purpose.\n"
    "\n"
    "Control file (re-read on every request; later lines win; '#' comments):\n"
    "  status N | status auto   answer N to every request / back to the options\n"
    "  delay MS | delay auto    answer late / back to --delay-ms\n"
    "  reset on | reset off     close each connection without an answer\n"
    "\n"
    "Order of faults: reset, control status, redirect, refused message, status script or 200,\n"
    "fail rate.\n"
    "Log lines: {\"n\",\"ms\",\"time\",\"peer\",\"method\",\"target\",\"path\",\"query\",\n"
    "  \"params\":[{\"name\",\"name_hex\",\"hex\",\"text\",\"encoding\"}],\"outcome\",\"status\",\n"
    "  \"delay_ms\",\"location\"?,\"error\"?,\"refused\"?,\"outbox\"?,\"offered\"?,\"repeat\"?}\n"
    "\n"
    "Outbox (--outbox-path): a GET without id is a poll, answered with the messages still\n"
    "offered as {\"messages\":[{\"id\",\"to\",\"text\"}]}; one with id and state is a state\n"
    "report. Outbox file lines: id<TAB>to<TAB>text, text escapes \\n \\t \\\\ \\uXXXX.";

std::optional<int> integer(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

} // namespace

ParsedOptions parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption port("port", "Port on 127.0.0.1 (0: a free one). Default 0.", "N", "0");
    const QCommandLineOption log("log", "Append one JSON object per request to FILE.", "FILE");
    const QCommandLineOption control("control", "Read run-time switches from FILE on each request.", "FILE");
    const QCommandLineOption script("status-script",
                                    "Statuses for successive requests, e.g. 500,500,200; the last repeats.",
                                    "LIST");
    const QCommandLineOption failRate("fail-rate", "Answer 500 to this share of requests (0-1).", "P", "0");
    const QCommandLineOption seed("seed", "Seed for --fail-rate. Default 1.", "N", "1");
    const QCommandLineOption delay("delay-ms", "Answer every request this late.", "MS", "0");
    const QCommandLineOption resetFirst("reset-first",
                                        "Close the connection without an answer for the first N requests.",
                                        "N", "0");
    const QCommandLineOption redirect("redirect-to",
                                      "Redirect requests for any other path to TARGET (path or URL), "
                                      "keeping the query.",
                                      "TARGET");
    const QCommandLineOption redirectStatus("redirect-status", "Status of that redirect. Default 302.", "N",
                                            "302");
    const QCommandLineOption tlsCert("tls-cert", "Speak HTTPS with this PEM certificate (needs --tls-key).",
                                     "FILE");
    const QCommandLineOption tlsKey("tls-key", "PEM private key for --tls-cert.", "FILE");
    const QCommandLineOption refuse("refuse-message-containing",
                                    "Answer 400 to every request whose message parameter, decoded, "
                                    "contains TEXT (repeatable).",
                                    "TEXT");
    const QCommandLineOption outboxPath("outbox-path",
                                        "Serve the outbox on PATH: polls for messages to send and their "
                                        "state reports.",
                                        "PATH");
    const QCommandLineOption outbox("outbox", "Offer the messages in FILE (id<TAB>to<TAB>text a line), "
                                              "re-read on every poll.",
                                    "FILE");
    const QCommandLineOption outboxRaw("outbox-raw", "Answer every poll with FILE's bytes verbatim.", "FILE");
    const QCommandLineOption outboxStatus("outbox-status", "A poll's status when no fault applies. Default 200.",
                                          "N", "200");
    const QCommandLineOption outboxStates("outbox-states",
                                          "Append id<TAB>state<TAB>time<TAB>detail to FILE per first report.",
                                          "FILE");
    parser.addOptions({help, port, log, control, script, failRate, seed, delay, resetFirst, redirect,
                       redirectStatus, tlsCert, tlsKey, refuse, outboxPath, outbox, outboxRaw, outboxStatus,
                       outboxStates});

    ParsedOptions out;
    out.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        out.error = parser.errorText();
        return out;
    }
    if (!parser.positionalArguments().isEmpty()) {
        out.error = "unexpected argument: " + parser.positionalArguments().first();
        return out;
    }
    out.help = parser.isSet(help);

    ReceiverOptions& o = out.options;
    FaultOptions& f = o.faults;
    const auto bad = [&](const QCommandLineOption& option, const QString& expected) {
        out.error = QStringLiteral("--%1: expected %2, got \"%3\"")
                        .arg(option.names().constLast(), expected, parser.value(option));
    };
    const auto portValue = integer(parser.value(port), 0, 65535);
    if (!portValue) {
        bad(port, "a port (0-65535)");
        return out;
    }
    o.port = quint16(*portValue);
    o.logPath = parser.value(log);
    o.controlPath = parser.value(control);
    o.tlsCertificate = parser.value(tlsCert);
    o.tlsKey = parser.value(tlsKey);
    if (o.tlsCertificate.isEmpty() != o.tlsKey.isEmpty()) {
        out.error = "--tls-cert and --tls-key go together";
        return out;
    }
    if (parser.isSet(script)) {
        const auto statuses = parseStatusScript(parser.value(script));
        if (!statuses) {
            bad(script, "statuses 100-599 separated by commas");
            return out;
        }
        f.statusScript = *statuses;
    }
    bool ok = false;
    f.failRate = parser.value(failRate).toDouble(&ok);
    if (!ok || f.failRate < 0 || f.failRate > 1) {
        bad(failRate, "a share from 0 to 1");
        return out;
    }
    f.seed = parser.value(seed).toUInt(&ok);
    if (!ok) {
        bad(seed, "an unsigned number");
        return out;
    }
    const auto delayValue = integer(parser.value(delay), 0, 3'600'000);
    if (!delayValue) {
        bad(delay, "milliseconds");
        return out;
    }
    f.delayMs = *delayValue;
    const auto resetValue = integer(parser.value(resetFirst), 0, 1'000'000);
    if (!resetValue) {
        bad(resetFirst, "a count");
        return out;
    }
    f.resetFirst = *resetValue;
    f.redirectTo = parser.value(redirect).toUtf8();
    if (parser.isSet(redirect) && !f.redirectTo.startsWith('/') && !f.redirectTo.startsWith("http://") &&
        !f.redirectTo.startsWith("https://")) {
        bad(redirect, "a path starting with '/' or an http(s) URL");
        return out;
    }
    const auto redirectValue = integer(parser.value(redirectStatus), 300, 399);
    if (!redirectValue) {
        bad(redirectStatus, "a 3xx status");
        return out;
    }
    f.redirectStatus = *redirectValue;
    f.refuseMessagesContaining = parser.values(refuse);
    if (f.refuseMessagesContaining.contains(QString())) {
        bad(refuse, "a text that is not empty");
        return out;
    }
    OutboxOptions& b = o.outbox;
    b.path = parser.value(outboxPath).toUtf8();
    if (parser.isSet(outboxPath) && (!b.path.startsWith('/') || b.path.contains('?'))) {
        bad(outboxPath, "a path starting with '/'");
        return out;
    }
    b.messagesPath = parser.value(outbox);
    b.rawPath = parser.value(outboxRaw);
    b.statesPath = parser.value(outboxStates);
    if (b.path.isEmpty() && (parser.isSet(outbox) || parser.isSet(outboxRaw) || parser.isSet(outboxStatus) ||
                             parser.isSet(outboxStates))) {
        out.error = "--outbox, --outbox-raw, --outbox-status and --outbox-states need --outbox-path";
        return out;
    }
    if (!b.messagesPath.isEmpty() && !b.rawPath.isEmpty()) {
        out.error = "--outbox and --outbox-raw exclude each other";
        return out;
    }
    const auto pollStatus = integer(parser.value(outboxStatus), 100, 599);
    if (!pollStatus) {
        bad(outboxStatus, "a status 100-599");
        return out;
    }
    b.pollStatus = *pollStatus;
    return out;
}

} // namespace zorvel::web

#include "Options.h"

#include "Escape.h"

#include <QRegularExpression>

namespace zorvel::sim {

namespace {

std::optional<int> number(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

std::optional<bool> onOff(const QString& text)
{
    if (text == "on" || text == "1") return true;
    if (text == "off" || text == "0") return false;
    return std::nullopt;
}

QByteArray commandPattern(const QString& text) { return text.trimmed().toLatin1(); }

// Applies one option with its value; an error text when the value is wrong.
QString applyOption(const QString& name, const QString& value, Options& o)
{
    const auto bad = [&](const QString& expected) {
        return QStringLiteral("--%1: expected %2, got \"%3\"").arg(name, expected, value);
    };
    RuntimeSettings& s = o.settings;
    if (name == "link") {
        o.link = value;
    } else if (name == "profile") {
        if (!findProfile(value.toLatin1()))
            return bad(QString::fromLatin1(profileNames().join('|')));
        o.profile = value.toLatin1();
    } else if (name == "echo") {
        o.echo = onOff(value);
        if (!o.echo) return bad("on|off");
    } else if (name == "echo-style") {
        if (value == "crcrlf") o.echoStyle = EchoStyle::CrCrLf;
        else if (value == "exact") o.echoStyle = EchoStyle::Exact;
        else return bad("crcrlf|exact");
    } else if (name == "mode") {
        if (value != "text" && value != "pdu") return bad("text|pdu");
        o.textMode = value == "text";
    } else if (name == "store") {
        o.store = value;
    } else if (name == "inbox") {
        o.inbox = value;
    } else if (name == "log") {
        o.log = value;
    } else if (name == "generate-every") {
        const auto v = number(value, 0, 86400);
        if (!v) return bad("seconds (0-86400)");
        o.generateEverySeconds = *v;
    } else if (name == "capacity") {
        o.capacity = number(value, 1, 1000);
        if (!o.capacity) return bad("a count (1-1000)");
    } else if (name == "capacity-me") {
        o.capacityMe = number(value, 1, 1000);
        if (!o.capacityMe) return bad("a count (1-1000)");
    } else if (name == "sim-pin") {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{4,8}$"));
        if (!digits.match(value).hasMatch()) return bad("4 to 8 digits");
        o.simPin = value.toLatin1();
    } else if (name == "sim-state") {
        if (value == "ready") o.simState = SimState::Ready;
        else if (value == "pin") o.simState = SimState::Pin;
        else if (value == "puk") o.simState = SimState::Puk;
        else return bad("ready|pin|puk");
    } else if (name == "report") {
        const auto rule = parseReportRule(value);
        if (!rule) return bad("PREFIX|*=delivered|failed:HEX|none[,MS]");
        o.reportRules.append(*rule);
    } else if (name == "reports") {
        if (value == "store") o.reports = ReportDestination::Store;
        else if (value == "sr") o.reports = ReportDestination::StatusStore;
        else if (value == "cds") o.reports = ReportDestination::Direct;
        else if (value == "cdsi") o.reports = ReportDestination::StatusStoreIndicated;
        else return bad("store|sr|cds|cdsi");
    } else if (name == "no-cds") {
        const auto v = onOff(value);
        if (!v) return bad("on|off");
        o.directReports = !*v;
    } else if (name == "first-reference") {
        const auto v = number(value, 0, 255);
        if (!v) return bad("a reference (0-255)");
        o.firstReference = *v;
    } else if (name == "cmgs-error") {
        const auto v = number(value, 0, 999);
        if (!v) return bad("an error number (0-999)");
        s.cmgsError = *v;
    } else if (name == "cmgs-no-prompt" || name == "cmgs-silent") {
        const auto v = onOff(value);
        if (!v) return bad("on|off");
        (name == "cmgs-silent" ? s.cmgsSilent : s.cmgsNoPrompt) = *v;
    } else if (name == "silent") {
        s.silent.append(commandPattern(value));
    } else if (name == "error") {
        s.error.append(commandPattern(value));
    } else if (name == "reply") {
        // The pattern ends at the first '=': "AT+CMGF" also covers "AT+CMGF=1".
        const qsizetype eq = value.indexOf('=');
        const auto bytes = eq > 0 ? unescapeBytes(value.mid(eq + 1).toLatin1()) : std::nullopt;
        if (!bytes) return bad("COMMAND=BYTES (escapes \\r \\n \\xHH)");
        s.replies.append({commandPattern(value.left(eq)), *bytes});
    } else if (name == "pieces") {
        const auto v = number(value, 1, 1000);
        if (!v) return bad("a count (1-1000)");
        s.pieces = *v;
    } else if (name == "piece-delay" || name == "reply-delay" || name == "junk-every" ||
               name == "pause-inside-text") {
        const auto v = number(value, 0, 600000);
        if (!v) return bad("milliseconds");
        (name == "piece-delay"         ? s.pieceDelayMs
         : name == "reply-delay"       ? s.replyDelayMs
         : name == "pause-inside-text" ? s.pauseInsideTextMs
                                       : s.junkEveryMs) = *v;
    } else if (name == "junk") {
        const auto bytes = unescapeBytes(value.toLatin1());
        if (!bytes) return bad("bytes (escapes \\r \\n \\xHH)");
        s.junk = *bytes;
    } else if (name == "cmti") {
        const auto v = onOff(value);
        if (!v) return bad("on|off");
        s.cmti = *v;
    } else if (name == "concat") {
        const auto v = onOff(value);
        if (!v) return bad("on|off");
        o.concat = *v;
    } else if (name == "no-csdh") {
        const auto v = onOff(value);
        if (!v) return bad("on|off");
        o.csdh = !*v;
    } else {
        return QStringLiteral("unknown option --%1 (see --help)").arg(name);
    }
    return {};
}

bool isRuntimeOption(const QString& name)
{
    static const QStringList runtime = {"echo", "silent", "error", "reply", "pieces", "piece-delay",
                                        "reply-delay", "pause-inside-text", "junk-every", "junk", "cmti",
                                        "generate-every", "concat", "sim-pin", "sim-state", "report",
                                        "cmgs-error", "cmgs-no-prompt", "cmgs-silent"};
    return runtime.contains(name);
}

} // namespace

QString parseOptions(const QStringList& args, Options& options, bool runtimeOnly)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (!arg.startsWith("--")) return QStringLiteral("unexpected argument \"%1\"").arg(arg);
        QString name = arg.mid(2);
        QString value;
        const qsizetype eq = name.indexOf('=');
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (name == "cmti" || name == "concat" || name == "no-csdh" || name == "no-cds" ||
                   name == "cmgs-no-prompt" || name == "cmgs-silent") {
            value = "on";  // a plain switch
        } else {
            if (i + 1 >= args.size()) return QStringLiteral("--%1 needs a value").arg(name);
            value = args[++i];
        }
        if (runtimeOnly && !isRuntimeOption(name))
            return QStringLiteral("--%1 cannot change while running").arg(name);
        const QString error = applyOption(name, value, options);
        if (!error.isEmpty()) return error;
    }
    return {};
}

QString applyControlLine(const QByteArray& rawLine, Options& options)
{
    const QString line = QString::fromUtf8(rawLine).trimmed();
    if (line.isEmpty() || line.startsWith('#')) return {};
    if (line == "clear") {
        const bool cmti = options.settings.cmti;
        options.settings = RuntimeSettings{};
        options.settings.cmti = cmti;
        return {};
    }
    // "--name=value", so that a switch such as "cmti on" keeps its value.
    const qsizetype space = line.indexOf(' ');
    const QString arg = space < 0 ? "--" + line : "--" + line.left(space) + "=" + line.mid(space + 1).trimmed();
    return parseOptions({arg}, options, true);
}

std::optional<ControlAction> parseControlAction(const QByteArray& rawLine, QString* error)
{
    const QList<QByteArray> words = rawLine.simplified().split(' ');
    static const QList<QPair<QByteArray, ControlAction::Kind>> kinds = {
        {"vanish", ControlAction::Vanish}, {"return", ControlAction::Return},
        {"hang", ControlAction::Hang}, {"unhang", ControlAction::Unhang}};
    for (const auto& [word, kind] : kinds) {
        if (words[0] == word && words.size() == 1) return ControlAction{kind, 0};
        if (words[0] != word + "-for" || kind == ControlAction::Return || kind == ControlAction::Unhang) continue;
        const auto seconds = words.size() == 2 ? number(QString::fromLatin1(words[1]), 1, 86400) : std::nullopt;
        if (!seconds) {
            *error = QStringLiteral("%1: expected seconds (1-86400)").arg(QString::fromLatin1(words[0]));
            return std::nullopt;
        }
        return ControlAction{kind, *seconds};
    }
    if (kinds.end() != std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == words[0]; }))
        *error = QStringLiteral("%1 takes no value").arg(QString::fromLatin1(words[0]));
    return std::nullopt;
}

QString helpText()
{
    return QStringLiteral(R"(Usage: zorvel-simmodem --link PATH [options]

A simulated GSM modem on a pseudo-terminal, for Zorvel's demo and tests. It links PATH
to the terminal (for instance demo/ports/com3) and answers AT commands like a modem.

Device:
  --link PATH             symbolic link to create (an existing link is replaced)
  --profile NAME          e1750 (default) or generic; see README.md
  --echo on|off           command echo at start and after ATZ (profile default: on)
  --echo-style S          crcrlf: "AT\r" + "\r\nOK" (LF swallowed); exact: every byte
  --mode text|pdu         message format at start and after ATZ (default pdu)
  --no-csdh               no AT+CSDH: every form of it answers ERROR
Messages:
  --store FILE            messages to load at start (format in README.md)
  --inbox DIR             folder watched for new message files and control files (*.ctl)
  --generate-every SEC    add a made-up message every SEC seconds (0: never)
  --capacity N            slots on the SIM "SM" (profile default); once all are taken, new
                          messages wait in line until a delete frees one
  --capacity-me N         slots of the phone's memory "ME" (profile default: 100 / 50)
  --cmti                  always send +CMTI: "<mem>",<index> when a message arrives
                          while running (without it: only after AT+CNMI=<mode>,1)
  --concat                store a text too long for one SMS as a concatenated SMS, one
                          part a slot (default: cut to one SMS)
Sending (AT+CMGS in PDU mode) and status reports:
  --first-reference N     reference (TP-MR) of the first message sent (default 1);
                          they count up to 255 and wrap to 0
  --report RULE           PREFIX|*=delivered|failed:HEX|none[,MS]: the report a
                          recipient gets for a message that asks for one, MS ms after
                          it was sent (default *=delivered,2000; the last match wins)
  --reports WHERE         store (default: the memory new messages land in), sr (the
                          memory "SR"), cds (+CDS when AT+CNMI <ds> is 1), cdsi (stored
                          in "SR", +CDSI when <ds> is 2)
  --no-cds                AT+CNMI with <ds>=1 answers ERROR
SIM:
  --sim-pin CODE          the SIM's PIN (4-8 digits); the SIM then starts locked
  --sim-state S           ready, pin or puk at start (default: ready, pin with --sim-pin)
Faults (repeatable where it makes sense; COMMAND matches lines starting with it):
  --silent COMMAND        no echo and no reply at all
  --error COMMAND         reply ERROR
  --reply COMMAND=BYTES   reply exactly BYTES after the echo (escapes \r \n \t \xHH)
  --pieces N              write each reply in N pieces
  --piece-delay MS        pause between pieces
  --reply-delay MS        pause before a reply
  --pause-inside-text MS  in a text-mode +CMGL/+CMGR reply, pause MS after each line of
                          a message text that reads exactly OK (0: off)
  --junk-every MS         write junk every MS ms, also while no one has the port open
  --junk BYTES            the junk (default: the profile's unsolicited lines)
  --cmgs-error N          AT+CMGS answers +CMS ERROR: N instead of the prompt
  --cmgs-no-prompt        AT+CMGS gets no prompt (and takes no text)
  --cmgs-silent           no answer after the Ctrl-Z of a send; nothing is sent
Control files only (not options):
  vanish / return         the port disappears (terminal closed, link removed) / comes back
  vanish-for SEC          vanish, and return after SEC seconds
  hang / hang-for SEC     answer nothing until the client reopens the port (or SEC pass)
  unhang                  end a hang
Other:
  --log FILE              event log (default: standard error)
  --help                  this text

Stops on SIGINT or SIGTERM and removes the link.
)");
}

} // namespace zorvel::sim

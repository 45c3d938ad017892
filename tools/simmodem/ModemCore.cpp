#include "ModemCore.h"

#include "Escape.h"
#include "Reply.h"

namespace zorvel::sim {

namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;
constexpr qsizetype kMaxLine = 4096;
} // namespace

const QByteArray* matchingPattern(const QList<QByteArray>& patterns, const QByteArray& key)
{
    for (const QByteArray& p : patterns)
        if (key.startsWith(commandKey(p))) return &p;
    return nullptr;
}

QByteArray commandKey(const QByteArray& command)
{
    QByteArray key = command;
    bool quoted = false;
    for (char& c : key) {
        if (c == '"') quoted = !quoted;
        else if (!quoted && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

ModemCore::ModemCore(const Profile& profile, MessageAreas& memory, const RuntimeSettings& settings)
    : m_profile(profile), m_settings(settings), m_sms(profile, memory),
      m_echo(profile.echo), m_echoDefault(profile.echo), m_echoStyle(profile.echoStyle)
{
    m_sms.onEvent = [this](const QByteArray& kind, const QByteArray& detail) { event(kind, detail); };
    m_sim.onEvent = m_sms.onEvent;
    m_sms.setSettings(&m_settings);
    m_sms.onSent = [this](const SentSms& sms) {
        if (onSent) onSent(sms);
    };
}

void ModemCore::reset()
{
    m_echo = m_echoDefault;
    m_sms.setTextMode(m_textModeDefault);
    m_sms.setShowParameters(false);
    m_indications.reset();
}

void ModemCore::powerCycle()
{
    reset();
    if (m_sms.enteringText()) m_sms.cancelText();
    m_line.clear();
    m_lineEcho.clear();
    m_afterCommandCr = false;
}

void ModemCore::event(const QByteArray& kind, const QByteArray& detail)
{
    if (onEvent) onEvent(kind, detail);
}

QList<QByteArray> ModemCore::receive(const QByteArray& bytes)
{
    QList<QByteArray> out;
    for (const ReplyUnit& unit : receiveUnits(bytes)) out.append(unit.bytes);
    return out;
}

QList<ReplyUnit> ModemCore::receiveUnits(const QByteArray& bytes)
{
    QList<ReplyUnit> units;
    ReplyUnit unit;
    auto flush = [&] {
        if (!unit.bytes.isEmpty()) units.append(unit);
        unit = {};
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        const bool afterCr = m_afterCommandCr;
        m_afterCommandCr = false;
        if (afterCr && b == '\n') {
            // The LF of a command line's CR LF, arriving after the CR was acted on: echoed
            // in the exact style, never part of the next line or of a message text.
            if (m_echoStyle == EchoStyle::Exact && m_echo) unit.bytes += '\n';
            continue;
        }
        if (m_sms.enteringText()) {
            takeTextByte(b, unit);
            if (!m_sms.enteringText()) flush();
            continue;
        }
        if (b == '\r') {
            QByteArray echoed = m_lineEcho + '\r';
            if (m_echoStyle == EchoStyle::Exact && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                echoed += '\n';
                ++i;
            }
            const bool echoNow = m_echo;  // ATE0 is still echoed
            bool silent = false;
            const QByteArray answer = execute(m_line, &silent);
            const QList<qsizetype> okEnds = m_sms.takeTextOkEnds();
            m_line.clear();
            m_lineEcho.clear();
            m_afterCommandCr = !echoed.endsWith('\n');
            if (!silent) {
                if (echoNow) unit.bytes += echoed;
                for (qsizetype end : okEnds) unit.textOkEnds << unit.bytes.size() + end;
                unit.bytes += answer;
            }
            flush();
        } else if (b == '\n') {
            if (m_echoStyle == EchoStyle::CrCrLf) continue;
            if (m_line.isEmpty() && m_echo) unit.bytes += '\n';
            else m_lineEcho += '\n';
        } else if (b == kCtrlZ || b == kEsc) {
            m_line.clear();  // abandons a half-typed line, as after a refused AT+CMGS
            m_lineEcho.clear();
        } else if (b == kBackspace) {
            m_line.chop(1);
            m_lineEcho += b;
        } else if (m_line.size() < kMaxLine) {
            m_line += b;
            m_lineEcho += b;
        }
    }
    flush();
    return units;
}

void ModemCore::takeTextByte(char b, ReplyUnit& unit)
{
    if (b == kCtrlZ) {
        unit.bytes += m_sms.finishText();
    } else if (b == kEsc) {
        unit.bytes += m_sms.cancelText();
    } else {
        m_sms.appendText(b);
        if (m_echo) unit.bytes += b;
        if (b == '\r') unit.bytes += "\r\n> ";
    }
}

QByteArray ModemCore::execute(const QByteArray& line, bool* silent)
{
    // V.250: everything before "AT" (or "at") is ignored; a line without it gets nothing.
    qsizetype start = -1;
    for (qsizetype i = 0; i + 1 < line.size() && start < 0; ++i) {
        const char a = line[i], t = line[i + 1];
        if ((a == 'A' && t == 'T') || (a == 'a' && t == 't')) start = i;
    }
    if (start < 0) return {};
    const QByteArray command = line.mid(start);
    const QByteArray key = commandKey(command);
    event("CMD", "\"" + escapeBytes(command) + "\"");
    if (const QByteArray* p = matchingPattern(m_settings.silent, key)) {
        event("FAULT", "silent \"" + escapeBytes(*p) + "\"");
        *silent = true;
        return {};
    }
    if (const QByteArray* p = matchingPattern(m_settings.error, key)) {
        event("FAULT", "error \"" + escapeBytes(*p) + "\"");
        return reply::error();
    }
    for (const auto& [pattern, bytes] : m_settings.replies) {
        if (key.startsWith(commandKey(pattern))) {
            event("FAULT", "reply \"" + escapeBytes(pattern) + "\"");
            return bytes;
        }
    }
    return dispatch(command, key);
}

QByteArray ModemCore::dispatch(const QByteArray& command, const QByteArray& key)
{
    const QByteArray body = key.mid(2);
    if (body.isEmpty()) return reply::ok();
    if (body[0] != '+' && body[0] != '^') return basic(body);

    qsizetype end = 1;
    while (end < body.size() && body[end] != '=' && body[end] != '?') ++end;
    const QByteArray name = body.left(end);
    const QByteArray rest = body.mid(end);
    CommandKind kind = CommandKind::Execute;
    QByteArray args;
    if (rest == "?") {
        kind = CommandKind::Read;
    } else if (rest == "=?") {
        kind = CommandKind::Test;
    } else if (rest.startsWith('=')) {
        kind = CommandKind::Set;
        args = command.mid(2 + end + 1);  // original case: numbers and names in quotes
    } else if (!rest.isEmpty()) {
        return reply::error();
    }
    if (const auto code = m_sim.refusal(name)) return reply::cmeError(*code);
    if (auto answer = m_sms.handle(name, kind, args)) return *answer;
    return general(name, kind, args);
}

QByteArray ModemCore::basic(const QByteArray& body)
{
    if (body == "Z" || body == "Z0" || body == "&F" || body == "&F0") {
        reset();  // the chosen memories stay, as on the sticks
        return reply::ok();
    }
    if (body == "E0" || body == "E") {
        m_echo = false;
        return reply::ok();
    }
    if (body == "E1") {
        m_echo = true;
        return reply::ok();
    }
    if (body == "I" || body == "I0")
        return reply::info({"Manufacturer: " + m_profile.manufacturer, "Model: " + m_profile.model,
                            "Revision: " + m_profile.revision, "IMEI: " + m_profile.imei});
    if (body == "V1" || body == "Q0" || body == "&C1" || body == "&D2") return reply::ok();
    return reply::error();
}

QByteArray ModemCore::general(const QByteArray& name, CommandKind kind, const QByteArray& args)
{
    const bool exec = kind == CommandKind::Execute;
    const bool read = kind == CommandKind::Read;
    const bool test = kind == CommandKind::Test;
    if (name == "^SYSINFO" && exec && !m_profile.sysinfo.isEmpty()) return reply::info({m_profile.sysinfo});
    if ((name == "+GSN" || name == "+CGSN") && exec) return reply::info({m_profile.imei});
    if (name == "+CIMI" && exec) return reply::info({m_profile.imsi});
    if (name == "+CNUM" && exec) return reply::info({m_profile.ownNumber});
    if (name == "+CSQ" && exec) return reply::info({m_profile.signal});
    if (name == "+CSQ" && test) return reply::info({"+CSQ: (0-31,99),(0-7,99)"});
    if (name == "+COPS" && read) return reply::info({m_profile.operatorLine});
    if (name == "+COPS" && kind == CommandKind::Set) return reply::ok();
    if ((name == "+CGMI" || name == "+GMI") && exec) return reply::info({m_profile.manufacturer});
    if ((name == "+CGMM" || name == "+GMM") && exec) return reply::info({m_profile.model});
    if ((name == "+CGMR" || name == "+GMR") && exec) return reply::info({m_profile.revision});
    if (name == "+CREG" && read) return reply::info({"+CREG: 0,1"});
    if (name == "+CSCA" && read) return reply::info({"+CSCA: \"" + m_profile.smsc + "\",145"});
    if (name == "+CSCS" && read) return reply::info({"+CSCS: \"IRA\""});
    if (name == "+CPIN") return m_sim.handle(read, test, kind == CommandKind::Set, args);
    if (name == "+CNMI") return m_indications.handle(read, test, kind == CommandKind::Set, args);
    // The acknowledgement a "+CDS" asks for; nothing is sent again without it.
    if (name == "+CNMA" && (exec || kind == CommandKind::Set) && m_indications.statusReports() == 1)
        return reply::ok();
    if ((name == "+CSCS" || name == "+CMEE" || name == "+CREG" || name == "+CSCA") &&
        kind == CommandKind::Set)
        return reply::ok();
    return reply::error();
}

} // namespace zorvel::sim

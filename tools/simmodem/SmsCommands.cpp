#include "SmsCommands.h"

#include "Escape.h"
#include "Pdu.h"
#include "Reply.h"
#include "TextHeaders.h"

namespace zorvel::sim {

namespace {

constexpr int kInvalidIndex = 321;

QByteArray unquoted(QByteArray text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"')) return text.mid(1, text.size() - 2);
    return text;
}

bool isHex(const QByteArray& text)
{
    return !text.isEmpty() && text.size() % 2 == 0 &&
           QByteArray::fromHex(text).toHex() == text.toLower();
}

} // namespace

SmsCommands::SmsCommands(const Profile& profile, MessageAreas& areas)
    : m_profile(profile), m_memory(areas)
{
}

std::optional<QByteArray> SmsCommands::handle(const QByteArray& name, CommandKind kind,
                                              const QByteArray& args)
{
    m_textOkEnds.clear();
    if (name == "+CMGF") {
        if (kind == CommandKind::Read) return reply::info({"+CMGF: " + QByteArray(m_textMode ? "1" : "0")});
        if (kind == CommandKind::Test) return reply::info({"+CMGF: (0-1)"});
        const QByteArray value = args.trimmed();
        if (kind == CommandKind::Execute || value == "0") {
            m_textMode = false;
            return reply::ok();
        }
        if (value == "1") {
            m_textMode = true;
            return reply::ok();
        }
        return reply::error();
    }
    if (name == "+CSDH") return showParameters(kind, args);
    if (name == "+CMGL") {
        if (kind == CommandKind::Test)
            return reply::info({m_textMode ? "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"
                                           : "+CMGL: (0-4)"});
        if (kind == CommandKind::Read) return reply::error();
        return list(args);
    }
    if (name == "+CMGR") return kind == CommandKind::Set ? read(args) : reply::error();
    if (name == "+CMGD") {
        if (kind == CommandKind::Test) return reply::info({"+CMGD: (" + QByteArray::number(m_memory.firstIndex()) + "-" +
                                                           QByteArray::number(m_memory.firstIndex() + m_memory.capacity() - 1) + "),(0-4)"});
        return kind == CommandKind::Set ? remove(args) : reply::error();
    }
    if (name == "+CMGS") {
        if (kind == CommandKind::Test) return reply::ok();
        return kind == CommandKind::Set ? startSend(args) : reply::error();
    }
    if (name == "+CPMS") return storages(kind, args);
    return std::nullopt;
}

QByteArray SmsCommands::storages(CommandKind kind, const QByteArray& args)
{
    const auto counts = [this](MessageAreas::Area area) {
        return QByteArray::number(m_memory.used(area)) + "," + QByteArray::number(m_memory.total(area));
    };
    if (kind == CommandKind::Read) {
        QByteArray line = "+CPMS: ";
        for (int i = 0; i < 3; ++i)
            line += (i ? ",\"" : "\"") + MessageAreas::name(m_memory.area(i)) + "\"," + counts(m_memory.area(i));
        return reply::info({line});
    }
    if (kind == CommandKind::Set) {
        // An unknown memory is "operation not allowed", as 27.005 has no code of its own for it.
        if (!m_memory.choose(args.split(','))) return reply::cmsError(302);
        return reply::info({"+CPMS: " + counts(m_memory.area(0)) + "," + counts(m_memory.area(1)) + "," +
                            counts(m_memory.area(2))});
    }
    const QByteArray first = m_memory.hasStatusReports() ? "(\"SM\",\"ME\",\"MT\",\"SR\")" : "(\"SM\",\"ME\",\"MT\")";
    return reply::info({"+CPMS: " + first + ",(\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\",\"MT\")"});
}

QByteArray SmsCommands::showParameters(CommandKind kind, const QByteArray& args)
{
    if (!m_csdhSupported) return reply::error();
    if (kind == CommandKind::Read) return reply::info({"+CSDH: " + QByteArray(m_showParameters ? "1" : "0")});
    if (kind == CommandKind::Test) return reply::info({"+CSDH: (0,1)"});
    const QByteArray value = args.trimmed();
    if (kind != CommandKind::Set || (value != "0" && value != "1")) return reply::error();
    m_showParameters = value == "1";
    return reply::ok();
}

// reply::info() of header and text lines, noting where each text's "OK" lines end.
QByteArray SmsCommands::textReply(const QList<QPair<QByteArray, std::optional<QByteArray>>>& headersAndTexts)
{
    QList<QByteArray> lines;
    qsizetype offset = 2;  // the reply's leading CR LF
    for (const auto& [header, text] : headersAndTexts) {
        lines << header;
        offset += header.size() + 2;
        if (!text) continue;
        lines << *text;
        for (qsizetype end : okLineEnds(*text)) m_textOkEnds << offset + end;
        offset += text->size() + 2;
    }
    return reply::info(lines);
}

QByteArray SmsCommands::pduBody(const StoredMessage& m, int* tpduLength) const
{
    if (!m.pduHex.isEmpty()) {
        const QByteArray octets = QByteArray::fromHex(m.pduHex);
        const int smscPart = octets.isEmpty() ? 0 : 1 + static_cast<unsigned char>(octets[0]);
        *tpduLength = qMax(0, static_cast<int>(octets.size()) - smscPart);
        return m.pduHex;
    }
    const DeliverPdu pdu = m.part ? buildDeliverPart(m_profile.smsc, m.sender, m.stamp, *m.part)
                                  : buildDeliverPdu(m_profile.smsc, m.sender, m.stamp, m.text);
    *tpduLength = pdu.tpduLength;
    return pdu.hex;
}

QByteArray SmsCommands::list(const QByteArray& args)
{
    // Which statuses to show: text mode takes the names, PDU mode the numbers 0-4.
    const QByteArray arg = unquoted(args);
    bool all = false;
    std::optional<MessageStatus> wanted;
    if (args.trimmed().isEmpty()) {
        wanted = MessageStatus::RecUnread;
    } else if (m_textMode) {
        if (arg.compare("ALL", Qt::CaseInsensitive) == 0) all = true;
        else wanted = statusFromText(arg);
        if (!all && !wanted) return reply::cmsError(parameterError());
    } else {
        bool ok = false;
        const int stat = args.trimmed().toInt(&ok);
        if (!ok || stat < 0 || stat > 4) return reply::cmsError(parameterError());
        all = stat == 4;
        if (!all) wanted = static_cast<MessageStatus>(stat);
    }

    QList<QByteArray> lines;
    QList<QPair<QByteArray, std::optional<QByteArray>>> texts;
    for (const StoredMessage& m : m_memory.messages()) {
        if (!all && m.status != *wanted) continue;
        if (m_textMode) {
            if (m.report)
                texts.append({"+CMGL: " + QByteArray::number(m.index) + ",\"" + statusText(m.status) + "\"," +
                                  statusReportTextFields(*m.report),
                              std::nullopt});
            else
                texts.append({textListHeader(m_profile, m, m_showParameters), m.text});
        } else {
            int length = 0;
            const QByteArray body = pduBody(m, &length);
            lines << "+CMGL: " + QByteArray::number(m.index) + "," +
                         QByteArray::number(static_cast<int>(m.status)) + ",," + QByteArray::number(length)
                  << body;
        }
        if (m.status == MessageStatus::RecUnread) m_memory.find(m.index)->status = MessageStatus::RecRead;
    }
    return m_textMode ? textReply(texts) : reply::info(lines);
}

QByteArray SmsCommands::read(const QByteArray& args)
{
    bool ok = false;
    const int index = args.trimmed().toInt(&ok);
    StoredMessage* m = ok ? m_memory.find(index) : nullptr;
    if (!m) return reply::cmsError(kInvalidIndex);
    QByteArray result;
    if (m_textMode) {
        result = m->report ? textReply({{"+CMGR: \"" + statusText(m->status) + "\"," +
                                             statusReportTextFields(*m->report),
                                         std::nullopt}})
                           : textReply({{textReadHeader(m_profile, *m, m_showParameters), m->text}});
    } else {
        int length = 0;
        const QByteArray body = pduBody(*m, &length);
        result = reply::info({"+CMGR: " + QByteArray::number(static_cast<int>(m->status)) + ",," +
                                  QByteArray::number(length),
                              body});
    }
    if (m->status == MessageStatus::RecUnread) m->status = MessageStatus::RecRead;
    return result;
}

QByteArray SmsCommands::remove(const QByteArray& args)
{
    const QList<QByteArray> parts = args.split(',');
    bool ok = false;
    const int index = parts.value(0).trimmed().toInt(&ok);
    int flag = 0;
    if (parts.size() > 1) {
        bool flagOk = false;
        flag = parts[1].trimmed().toInt(&flagOk);
        if (!flagOk || flag < 0 || flag > 4) return reply::cmsError(parameterError());
    }
    if (flag == 0) {
        if (!ok || !m_memory.remove(index)) return reply::cmsError(kInvalidIndex);
        return reply::ok();
    }
    // 1: read ones, 2: read and sent, 3: read, sent and unsent, 4: all.
    for (const StoredMessage& m : m_memory.messages()) {
        const bool gone = flag == 4 || m.status == MessageStatus::RecRead ||
                          (flag >= 2 && m.status == MessageStatus::StoSent) ||
                          (flag >= 3 && m.status == MessageStatus::StoUnsent);
        if (gone) m_memory.remove(m.index);
    }
    return reply::ok();
}

QByteArray SmsCommands::startSend(const QByteArray& args)
{
    if (m_textMode) {
        const QByteArray number = unquoted(args.split(',').value(0));
        if (number.isEmpty()) return reply::cmsError(parameterError());
        m_destination = number;
    } else {
        bool ok = false;
        const int length = args.trimmed().toInt(&ok);
        if (!ok || length <= 0) return reply::cmsError(parameterError());
        m_destination.clear();
        m_pduLength = length;
    }
    if (m_settings && m_settings->cmgsError >= 0) {
        event("FAULT", "cmgs-error " + QByteArray::number(m_settings->cmgsError));
        return reply::cmsError(m_settings->cmgsError);
    }
    // No prompt and no text entry: what the client writes next is a half-typed line
    // that its Ctrl-Z drops.
    if (m_settings && m_settings->cmgsNoPrompt) {
        event("FAULT", "cmgs-no-prompt");
        return {};
    }
    m_entering = true;
    m_text.clear();
    return "\r\n> ";
}

QByteArray SmsCommands::finishText()
{
    m_entering = false;
    if (m_settings && m_settings->cmgsSilent) {
        event("FAULT", "cmgs-silent text=\"" + escapeBytes(m_text) + "\"");
        return {};
    }
    if (!m_textMode) return finishPdu();
    SentSms sms;
    sms.reference = m_nextReference;
    sms.to = m_destination;
    sms.text = m_text;
    sms.taken = QDateTime::currentDateTime();
    m_nextReference = (m_nextReference + 1) & 0xFF;
    m_sent.append(sms);
    event("SENT SMS", "mr=" + QByteArray::number(sms.reference) + " to=\"" + escapeBytes(sms.to) + "\" text=\"" +
                          escapeBytes(sms.text) + "\"");
    if (onSent) onSent(sms);
    return "\r\n+CMGS: " + QByteArray::number(sms.reference) + "\r\n" + reply::ok();
}

// The hex is checked, read as an SMS-SUBMIT and its length compared with AT+CMGS=<length>;
// each fault is "+CMS ERROR: 304" (invalid PDU mode parameter), as the modems answer.
QByteArray SmsCommands::finishPdu()
{
    const auto reject = [this](const QByteArray& why) {
        event("SEND", "rejected pdu=\"" + escapeBytes(m_text) + "\" reason=\"" + escapeBytes(why) + "\"");
        return reply::cmsError(parameterError());
    };
    if (!isHex(m_text)) return reject("not hex");
    const SubmitResult decoded = decodeSubmit(QByteArray::fromHex(m_text));
    if (!decoded.submit) return reject(decoded.error.toUtf8());
    const Submit& submit = *decoded.submit;
    if (submit.tpduLength != m_pduLength)
        return reject("length " + QByteArray::number(m_pduLength) + ", TPDU has " +
                      QByteArray::number(submit.tpduLength));
    SentSms sms;
    sms.reference = m_nextReference;
    sms.to = submit.recipient;
    sms.text = m_text;
    sms.pduMode = true;
    sms.reportWanted = submit.reportWanted;
    sms.concatenation = submit.concatenation;
    sms.decodedText = submit.textBytes();
    sms.taken = QDateTime::currentDateTime();
    m_nextReference = (m_nextReference + 1) & 0xFF;
    m_sent.append(sms);
    const auto& c = sms.concatenation;
    event("SENT SMS", "mr=" + QByteArray::number(sms.reference) + " to=\"" + escapeBytes(sms.to) + "\" part=" +
                          QByteArray::number(c ? c->sequence : 1) + "/" + QByteArray::number(c ? c->count : 1) +
                          (c ? " ref=" + QByteArray::number(c->reference) : QByteArray()) +
                          " report=" + (sms.reportWanted ? "yes" : "no") + " text=\"" + escapeBytes(sms.decodedText) +
                          "\" pdu=\"" + escapeBytes(sms.text) + "\"");
    if (onSent) onSent(sms);
    return "\r\n+CMGS: " + QByteArray::number(sms.reference) + "\r\n" + reply::ok();
}

QByteArray SmsCommands::cancelText()
{
    m_entering = false;
    event("SEND", "cancelled text=\"" + escapeBytes(m_text) + "\"");
    m_text.clear();
    return reply::ok();
}

} // namespace zorvel::sim

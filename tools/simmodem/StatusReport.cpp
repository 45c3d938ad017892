#include "StatusReport.h"

#include "Pdu.h"

#include <QRegularExpression>

namespace zorvel::sim {

namespace {
// SMS-STATUS-REPORT (TP-MTI 10), no more messages waiting (TP-MMS), TP-SRQ 0: the report
// is on an SMS-SUBMIT.
constexpr int kFirstOctet = 0x06;
const QByteArray kNoTime("\x00\x10\x10\x00\x00\x00\x00", 7);
} // namespace

std::optional<ReportRule> parseReportRule(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^([^=]+)=(delivered|failed:([0-9A-Fa-f]{1,2})|none)(?:,([0-9]{1,7}))?$)"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    ReportRule rule;
    const QString prefix = m.captured(1).trimmed();
    if (prefix != "*") rule.prefix = prefix.toUtf8();
    const QString outcome = m.captured(2);
    rule.outcome = outcome == "delivered" ? ReportRule::Delivered
                   : outcome == "none"    ? ReportRule::None
                                          : ReportRule::Failed;
    if (rule.outcome == ReportRule::Failed) rule.status = m.captured(3).toInt(nullptr, 16);
    if (!m.captured(4).isEmpty()) rule.delayMs = m.captured(4).toInt();
    return rule;
}

ReportRule reportRuleFor(const QList<ReportRule>& rules, const QByteArray& recipient)
{
    for (auto it = rules.crbegin(); it != rules.crend(); ++it)
        if (recipient.startsWith(it->prefix)) return *it;
    return ReportRule{};
}

StatusReportPdu buildStatusReport(const QByteArray& smsc, const StatusReportFields& report)
{
    QByteArray tpdu;
    tpdu += static_cast<char>(kFirstOctet);
    tpdu += static_cast<char>(report.reference & 0xFF);
    tpdu += encodeAddress(report.recipient, false);
    tpdu += encodeTimestamp(report.submitted).value_or(kNoTime);
    tpdu += encodeTimestamp(report.done).value_or(kNoTime);
    tpdu += static_cast<char>(report.status & 0xFF);
    return {(encodeAddress(smsc, true) + tpdu).toHex().toUpper(), static_cast<int>(tpdu.size())};
}

QByteArray statusReportTextFields(const StatusReportFields& r)
{
    QByteArray type = r.recipient.startsWith('+') ? "145" : "129";
    for (char c : r.recipient.mid(r.recipient.startsWith('+') ? 1 : 0))
        if (c < '0' || c > '9') type = "208";
    return QByteArray::number(kFirstOctet) + "," + QByteArray::number(r.reference) + ",\"" + r.recipient + "\"," +
           type + ",\"" + r.submitted + "\",\"" + r.done + "\"," + QByteArray::number(r.status);
}

} // namespace zorvel::sim

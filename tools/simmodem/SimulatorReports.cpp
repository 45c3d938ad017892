// Status reports: a message sent with TP-SRR set is reported on after its rule's delay,
// into a memory or straight to the terminal, as --reports says.
#include "Escape.h"
#include "Simulator.h"

#include <QDateTime>

namespace zorvel::sim {

namespace {

QByteArray quoted(const QByteArray& bytes) { return "\"" + escapeBytes(bytes) + "\""; }

QByteArray hexOctet(int value) { return QByteArray::number(value & 0xFF, 16).rightJustified(2, '0').toUpper(); }

QByteArray destinationName(ReportDestination d)
{
    switch (d) {
    case ReportDestination::Store: return "store";
    case ReportDestination::StatusStore: return "sr";
    case ReportDestination::Direct: return "cds";
    case ReportDestination::StatusStoreIndicated: return "cdsi";
    }
    return {};
}

} // namespace

void Simulator::scheduleReport(const SentSms& sms)
{
    if (!sms.pduMode || !sms.reportWanted) return;
    const ReportRule rule = reportRuleFor(m_options.reportRules, sms.to);
    if (rule.outcome == ReportRule::None) {
        m_log.write("REPORT", "none mr=" + QByteArray::number(sms.reference) + " to=" + quoted(sms.to));
        return;
    }
    StatusReportFields report;
    report.reference = sms.reference;
    report.recipient = sms.to;
    report.submitted = modemTimestamp(sms.taken);
    report.status = rule.outcome == ReportRule::Delivered ? 0 : rule.status;
    QTimer::singleShot(rule.delayMs, this, [this, report, outcome = rule.outcome] { deliverReport(report, outcome); });
}

void Simulator::deliverReport(StatusReportFields report, ReportRule::Outcome outcome)
{
    report.done = modemTimestamp(QDateTime::currentDateTime());
    const StatusReportPdu pdu = buildStatusReport(m_profile.smsc, report);
    QByteArray detail = QByteArray(outcome == ReportRule::Delivered ? "delivered" : "failed") +
                        " mr=" + QByteArray::number(report.reference) + " to=" + quoted(report.recipient) +
                        " st=" + hexOctet(report.status) + " via=" + destinationName(m_options.reports);
    if (m_options.reports == ReportDestination::Direct) {
        const int ds = m_core.statusReportIndication();
        if (ds != 1) {
            // AT+CNMI did not ask for them: the network's report goes nowhere.
            m_log.write("REPORT", detail + " not routed ds=" + QByteArray::number(ds));
            return;
        }
        m_log.write("REPORT", detail);
        m_unsolicited.append(m_core.textMode()
                                 ? "\r\n+CDS: " + statusReportTextFields(report) + "\r\n"
                                 : "\r\n+CDS: " + QByteArray::number(pdu.tpduLength) + "\r\n" + pdu.hex + "\r\n");
        flushUnsolicited();
        return;
    }
    m_log.write("REPORT", detail);
    StoredMessage m;
    m.sender = report.recipient;
    m.stamp = report.done;
    m.pduHex = pdu.hex;
    m.report = report;
    if (m_options.reports != ReportDestination::Store) m.storage = "SR";
    addMessages({m}, "report");
}

// "+CDSI" for a report stored in "SR" when AT+CNMI's <ds> is 2 (--reports cdsi only).
QByteArray Simulator::reportIndication(const StoredMessage& m, const QByteArray& memory) const
{
    if (m_options.reports != ReportDestination::StatusStoreIndicated || m_core.statusReportIndication() != 2) return {};
    return "\r\n+CDSI: \"" + memory + "\"," + QByteArray::number(m.index) + "\r\n";
}

} // namespace zorvel::sim

#pragma once
// Status reports for messages sent with TP-SRR set (3GPP TS 23.040 SMS-STATUS-REPORT,
// 27.005 text forms), and the rules that say, per recipient, what the network reports
// and when.
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace zorvel::sim {

struct StatusReportFields {
    int reference = 0;     // TP-MR of the part reported on
    QByteArray recipient;  // TP-RA, as the part's TP-DA read
    QByteArray submitted;  // TP-SCTS: "yy/MM/dd,hh:mm:ss+zz", when the modem took the part
    QByteArray done;       // TP-DT: when it was delivered or failed
    int status = 0;        // TP-ST: 0 delivered, else the failure's value
};

// "<recipient prefix or *>=delivered|failed:<hex status>|none[,<delay ms>]"
struct ReportRule {
    enum Outcome { Delivered, Failed, None };
    QByteArray prefix;  // empty: every recipient ("*")
    Outcome outcome = Delivered;
    int status = 0;
    int delayMs = 2000;
};
std::optional<ReportRule> parseReportRule(const QString& text);
// The last rule whose prefix the recipient starts with; "*=delivered,2000" when none.
ReportRule reportRuleFor(const QList<ReportRule>& rules, const QByteArray& recipient);

// Where reports go (--reports).
enum class ReportDestination { Store, StatusStore, Direct, StatusStoreIndicated };

struct StatusReportPdu {
    QByteArray hex;      // upper-case, SMSC part first
    int tpduLength = 0;  // octets after the SMSC part
};
StatusReportPdu buildStatusReport(const QByteArray& smsc, const StatusReportFields& report);

// 27.005 text-mode form after the "+CMGL: <index>,<stat>," / "+CMGR: <stat>," / "+CDS: "
// prefix: <fo>,<mr>,"<ra>",<tora>,"<scts>","<dt>",<st>
QByteArray statusReportTextFields(const StatusReportFields& report);

} // namespace zorvel::sim

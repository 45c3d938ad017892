#pragma once
// Command-line options, and the same options without "--" in control files.
#include "Profile.h"
#include "Settings.h"
#include "SimCard.h"
#include "StatusReport.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace zorvel::sim {

struct Options {
    QString link;
    QByteArray profile = "e1750";
    std::optional<bool> echo;             // overrides the profile
    std::optional<EchoStyle> echoStyle;   // overrides the profile
    bool textMode = false;                // format after start and after ATZ
    QString store;
    QString inbox;
    int generateEverySeconds = 0;
    std::optional<int> capacity;
    std::optional<int> capacityMe;        // the phone's memory ("ME"); profile default
    QByteArray simPin;                    // empty: the SIM has no PIN
    std::optional<SimState> simState;     // default: READY, or SIM PIN with a PIN
    bool csdh = true;     // false: AT+CSDH answers ERROR, as on a modem without it
    bool concat = false;  // texts too long for one SMS become concatenated SMS, not cut
    // Status reports: what each recipient gets (the last matching rule), where they go,
    // whether AT+CNMI may route them directly (<ds>=1).
    QList<ReportRule> reportRules;
    ReportDestination reports = ReportDestination::Store;
    bool directReports = true;
    int firstReference = 1;  // TP-MR of the first message sent
    QString log;  // empty or "-": stderr
    RuntimeSettings settings;
    bool help = false;
};

// Parses `args` (without the program name) onto `options`. With `runtimeOnly` only the
// options that may change while running are accepted. Returns an error text, or empty.
QString parseOptions(const QStringList& args, Options& options, bool runtimeOnly = false);

// One control-file line ("silent AT+CSQ", "pieces 3", "clear") as options; "clear"
// drops every fault. Returns an error text, or empty.
QString applyControlLine(const QByteArray& line, Options& options);

// Control lines that act instead of setting an option: "vanish", "vanish-for SEC",
// "return", "hang", "hang-for SEC", "unhang".
struct ControlAction {
    enum Kind { Vanish, Return, Hang, Unhang } kind;
    int seconds = 0;  // the -for forms: undone after this long; 0: until told
};
// Nothing when `line` is no action; `error` is set when it is one with a bad value.
std::optional<ControlAction> parseControlAction(const QByteArray& line, QString* error);

QString helpText();

} // namespace zorvel::sim

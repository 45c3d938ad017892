#pragma once
// Command-line options, and the same options without "--" in control files.
#include "Profile.h"
#include "Settings.h"

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
    bool concat = false;  // texts too long for one SMS become concatenated SMS, not cut
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

QString helpText();

} // namespace zorvel::sim

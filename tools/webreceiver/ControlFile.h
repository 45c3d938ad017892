#pragma once
// Behaviour switched while the receiver runs: a test rewrites the control file and the
// next request sees it. One directive a line; later lines win; '#' starts a comment line.
//   status N | status auto     answer N to every request / back to the options
//   delay MS | delay auto      answer late / back to --delay-ms
//   reset on | reset off       close every connection without an answer
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace zorvel::web {

struct ControlOverrides {
    std::optional<int> status;
    std::optional<int> delayMs;
    bool reset = false;
};

struct ParsedControl {
    ControlOverrides overrides;
    QStringList warnings;  // lines that were not understood, and ignored
};

ParsedControl parseControl(const QByteArray& text);

// Reads the file; a missing or empty path gives no overrides.
ParsedControl readControlFile(const QString& path);

} // namespace zorvel::web

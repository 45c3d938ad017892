#pragma once
// The command line: --help, --version, --folder DIR, --no-window, --pending, and the outbox's
// --send NUMBER TEXT, --outbox and --resend ID. Parsed before any application object
// exists, so that help, version and mistakes work without a display.
#include <QString>
#include <QStringList>

namespace zorvel {

struct CommandLine {
    enum class Action { Run, Help, Version, Pending, Send, Outbox, Resend, Error };
    Action action = Action::Run;
    QString folder;        // as given; empty means the current folder
    bool noWindow = false;
    QString recipient;     // Send: the number as typed, checked later
    QString text;          // Send: the text, or "-" for standard input
    QString id;            // Resend
    QString error;         // with Action::Error: what was wrong, one sentence
};

// `arguments` as main() received them, the program's name first.
CommandLine ParseCommandLine(const QStringList& arguments);

// The --help text, naming the program as `programName`.
QString CommandLineHelp(const QString& programName);

// The --version line.
QString VersionLine();

} // namespace zorvel

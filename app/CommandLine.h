#pragma once
// The command line: --help, --version, --folder DIR, --no-window, --pending. Parsed before any
// application object exists, so that help, version and mistakes work without a display.
#include <QString>
#include <QStringList>

namespace zorvel {

struct CommandLine {
    enum class Action { Run, Help, Version, Pending, Error };
    Action action = Action::Run;
    QString folder;        // as given; empty means the current folder
    bool noWindow = false;
    QString error;         // with Action::Error: what was wrong, one sentence
};

// `arguments` as main() received them, the program's name first.
CommandLine ParseCommandLine(const QStringList& arguments);

// The --help text, naming the program as `programName`.
QString CommandLineHelp(const QString& programName);

// The --version line.
QString VersionLine();

} // namespace zorvel

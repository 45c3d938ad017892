#include "CommandLine.h"

#include <QCommandLineParser>

#include "ExitCodes.h"
#include "Version.h"

namespace zorvel {

namespace {

const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and end."));
const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and end."));
const QCommandLineOption folderOption(
    QStringLiteral("folder"),
    QStringLiteral("Working folder holding zorvel.ini and the ports/ links (default: the "
                   "current folder)."),
    QStringLiteral("DIR"));
const QCommandLineOption noWindowOption(
    QStringLiteral("no-window"),
    QStringLiteral("Run without window and tray icon, for example as a service; needs no "
                   "display. The log goes to standard error."));
const QCommandLineOption pendingOption(
    QStringLiteral("pending"),
    QStringLiteral("List the messages waiting in the folder's store (zorvel.sqlite) and end; "
                   "works while Zorvel runs there."));

// Our own help and version options rather than Qt's: those need an application object,
// and Qt's --help-all lists options this program does not accept.
void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Zorvel forwards every SMS a GSM modem receives to a web address.\n"
                       "It reads zorvel.ini from its working folder; SIGTERM or SIGINT end it.\n"
                       "\n"
                       "Exit codes:\n"
                       "  %1   closed, or ended by SIGTERM or SIGINT\n"
                       "  %2   the port is missing or cannot be opened (it may come back)\n"
                       "  %3   a mistake on the command line\n"
                       "  %4  zorvel.sqlite is damaged, from a newer Zorvel, or (--pending) unreadable\n"
                       "  %5  the SIM needs a person: no PIN configured, a wrong PIN, or its PUK\n"
                       "  %6  zorvel.ini (or its Speed value) is unusable")
            .arg(exitcode::ended)
            .arg(exitcode::portFailed)
            .arg(exitcode::usage)
            .arg(exitcode::storeDamaged)
            .arg(exitcode::simLocked)
            .arg(exitcode::configuration));
    parser.addOptions({helpOption, versionOption, folderOption, noWindowOption, pendingOption});
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    describe(parser);
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Error;
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.action = CommandLine::Action::Help;
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.action = CommandLine::Action::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        return result;
    }
    result.noWindow = parser.isSet(noWindowOption);
    if (parser.isSet(folderOption)) {
        result.folder = parser.value(folderOption);
        if (result.folder.isEmpty()) {
            result.action = CommandLine::Action::Error;
            result.error = QStringLiteral("The value of '--folder' is empty.");
            return result;
        }
    }
    if (parser.isSet(pendingOption))
        result.action = CommandLine::Action::Pending;
    return result;
}

QString CommandLineHelp(const QString& programName)
{
    QCommandLineParser parser;
    describe(parser);
    // Without an application object Qt cannot know the program's name.
    return parser.helpText().replace(QStringLiteral("<executable_name>"), programName);
}

QString VersionLine()
{
    return QStringLiteral("zorvel ") + QLatin1String(versionNumber);
}

} // namespace zorvel

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

const QCommandLineOption sendOption(
    QStringLiteral("send"),
    QStringLiteral("Put an SMS with TEXT (after NUMBER; '-' reads it from standard input, "
                   "UTF-8) to NUMBER in the folder's outbox, print its id and end; works while "
                   "Zorvel runs there. A TEXT starting with '-' goes after '--'."),
    QStringLiteral("NUMBER"));
const QCommandLineOption outboxOption(
    QStringLiteral("outbox"),
    QStringLiteral("List the outgoing messages of the folder's store, newest first, and end."));
const QCommandLineOption resendOption(
    QStringLiteral("resend"),
    QStringLiteral("Send the message with this id again, if its state is unknown or failed, "
                   "and end."),
    QStringLiteral("ID"));

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
                       "  %2   the port is missing or cannot be opened (it may come back); --send or\n"
                       "      --resend could not write zorvel.sqlite (busy or full: try again)\n"
                       "  %3   a mistake on the command line, a number, text or id refused\n"
                       "  %4  zorvel.sqlite is damaged, from a newer Zorvel, or (--pending, --outbox)\n"
                       "      unreadable\n"
                       "  %5  the SIM needs a person: no PIN configured, a wrong PIN, or its PUK\n"
                       "  %6  zorvel.ini (or its Speed value) is unusable; --send, --outbox and\n"
                       "      --resend need Store=1 and Decode=1 in it")
            .arg(exitcode::ended)
            .arg(exitcode::portFailed)
            .arg(exitcode::usage)
            .arg(exitcode::storeDamaged)
            .arg(exitcode::simLocked)
            .arg(exitcode::configuration));
    parser.addOptions({helpOption, versionOption, folderOption, noWindowOption, pendingOption, sendOption,
                       outboxOption, resendOption});
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
    const QStringList positional = parser.positionalArguments();
    const bool sending = parser.isSet(sendOption);
    if (positional.size() > (sending ? 1 : 0)) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("Unexpected argument '%1'.").arg(positional.value(sending ? 1 : 0));
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
    int actions = 0;
    for (const QCommandLineOption* option : {&pendingOption, &sendOption, &outboxOption, &resendOption})
        actions += parser.isSet(*option) ? 1 : 0;
    if (actions > 1) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("Use only one of '--pending', '--send', '--outbox' and '--resend'.");
        return result;
    }
    if (parser.isSet(pendingOption))
        result.action = CommandLine::Action::Pending;
    if (parser.isSet(outboxOption))
        result.action = CommandLine::Action::Outbox;
    if (parser.isSet(resendOption)) {
        result.action = CommandLine::Action::Resend;
        result.id = parser.value(resendOption);
    }
    if (sending) {
        result.action = CommandLine::Action::Send;
        result.recipient = parser.value(sendOption);
        if (positional.isEmpty()) {
            result.action = CommandLine::Action::Error;
            result.error = QStringLiteral("'--send' needs the text after the number ('-' to read it from "
                                          "standard input).");
            return result;
        }
        result.text = positional.first();
        // The system's encoding could not read some of its bytes: what would be sent is not
        // what was typed.
        if (result.text.contains(QChar::ReplacementCharacter) || result.recipient.contains(QChar::ReplacementCharacter)) {
            result.action = CommandLine::Action::Error;
            result.error = QStringLiteral("The number or text of '--send' holds bytes that are not text in "
                                          "this system's encoding.");
            return result;
        }
    }
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

// Zorvel: forwards the SMS a GSM modem receives to a web address, and shows the modem's
// state in one small window (or, with --no-window, runs without one).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>

#include <chrono>
#include <cstdio>

#include "CommandLine.h"
#include "ExitCodes.h"
#include "Gateway.h"
#include "HeadlessGateway.h"
#include "LogFormat.h"
#include "OutboxCommands.h"
#include "PendingReport.h"
#include "SignalWatcher.h"
#include "ZorvelIcon.h"

namespace {

// The folder as given, made absolute: messages and the log name it in full.
std::string absoluteFolder(const QString& given)
{
    return (given.isEmpty() ? QDir::currentPath() : QDir(given).absolutePath()).toStdString();
}

int listPending(const std::string& folder)
{
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const zorvel::PendingListing listing = zorvel::ListPending(folder, now.count());
    std::fwrite(listing.output.data(), 1, listing.output.size(), stdout);
    std::fwrite(listing.error.data(), 1, listing.error.size(), stderr);
    return listing.unreadable ? zorvel::exitcode::storeDamaged : 0;
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int finish(const zorvel::CommandOutcome& outcome)
{
    std::fwrite(outcome.output.data(), 1, outcome.output.size(), stdout);
    std::fwrite(outcome.error.data(), 1, outcome.error.size(), stderr);
    return outcome.exitCode;
}

int sendFromCommandLine(const std::string& folder, const zorvel::CommandLine& command)
{
    std::string text = command.text.toStdString();
    if (command.text == QLatin1String("-")) {
        std::string why;
        const std::optional<std::string> input = zorvel::ReadInputText(stdin, why);
        if (!input)
            return finish({zorvel::exitcode::usage, {}, why + "\n"});
        text = *input;
    }
    return finish(zorvel::SendFromCommandLine(folder, command.recipient.toStdString(), text, nowMs(),
                                              zorvel::NewMessageId));
}

int runWithWindow(int& argc, char** argv, const std::string& folder)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvel"));
    // The window's icon, which is also the tray icon (and the message boxes' icon).
    QApplication::setWindowIcon(zorvel::ZorvelIcon());
    // The window ends the program itself, also when only a message box is left.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    zorvel::Gateway gateway(folder);
    zorvel::SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &zorvel::SignalWatcher::received, &gateway,
                     &zorvel::Gateway::endOnSignal);
    if (gateway.Form_Load())
        gateway.showWindow();
    return QApplication::exec();
}

int runWithoutWindow(int& argc, char** argv, const std::string& folder)
{
    // No QGuiApplication: the serial port, the network and the timers need none, and so
    // no display either.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zorvel"));
    zorvel::HeadlessGateway gateway(folder);
    zorvel::SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &zorvel::SignalWatcher::received, &gateway,
                     &zorvel::HeadlessGateway::endOnSignal);
    if (!gateway.start())
        return zorvel::exitcode::configuration;
    return QCoreApplication::exec();
}

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const zorvel::CommandLine command = zorvel::ParseCommandLine(arguments);
    const QString programName = QFileInfo(arguments.value(0, QStringLiteral("zorvel"))).fileName();
    switch (command.action) {
    case zorvel::CommandLine::Action::Help:
        print(stdout, zorvel::CommandLineHelp(programName));
        return 0;
    case zorvel::CommandLine::Action::Version:
        print(stdout, zorvel::VersionLine() + QLatin1Char('\n'));
        return 0;
    case zorvel::CommandLine::Action::Error:
        print(stderr, programName + QStringLiteral(": ") + command.error + QStringLiteral("\nTry '")
                          + programName + QStringLiteral(" --help' for the options.\n"));
        return zorvel::exitcode::usage;
    case zorvel::CommandLine::Action::Pending:
        return listPending(absoluteFolder(command.folder));
    case zorvel::CommandLine::Action::Send:
        return sendFromCommandLine(absoluteFolder(command.folder), command);
    case zorvel::CommandLine::Action::Outbox:
        return finish(zorvel::ListOutboxFromCommandLine(absoluteFolder(command.folder), nowMs()));
    case zorvel::CommandLine::Action::Resend:
        return finish(zorvel::ResendFromCommandLine(absoluteFolder(command.folder), command.id.toStdString(),
                                                    nowMs()));
    case zorvel::CommandLine::Action::Run:
        break;
    }

    zorvel::InstallLogFormat();
    const std::string folder = absoluteFolder(command.folder);
    return command.noWindow ? runWithoutWindow(argc, argv, folder)
                            : runWithWindow(argc, argv, folder);
}

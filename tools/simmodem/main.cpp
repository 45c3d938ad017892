// zorvel-simmodem: a simulated GSM modem on a pseudo-terminal. See README.md.
#include "Options.h"
#include "Profile.h"
#include "Simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT/SIGTERM/SIGHUP reach the event loop through a socket pair, so the link is
// removed by ordinary code after the loop ends.
bool catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    using namespace zorvel::sim;

    Options options;
    const QString error = parseOptions(app.arguments().mid(1), options);
    if (options.help) {
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!error.isEmpty() || options.link.isEmpty()) {
        std::fprintf(stderr, "zorvel-simmodem: %s\n",
                     error.isEmpty() ? "--link PATH is required (see --help)" : error.toLocal8Bit().constData());
        return 2;
    }
    const Profile* profile = findProfile(options.profile);
    if (!catchSignals()) {
        std::perror("zorvel-simmodem: socketpair");
        return 1;
    }

    Simulator simulator(options, *profile);
    QString startError;
    if (!simulator.start(&startError)) {
        std::fprintf(stderr, "zorvel-simmodem: %s\n", startError.toLocal8Bit().constData());
        simulator.stop("start failed");
        return 1;
    }
    QByteArray reason = "quit";
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) == 1) reason = "signal=" + QByteArray::number(number);
        app.quit();
    });
    const int status = app.exec();
    simulator.stop(reason);
    return status;
}

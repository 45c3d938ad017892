#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zorvel {

namespace {

int writeEnd = -1; // read by the handler, so a plain int

const int watched[] = {SIGTERM, SIGINT};

void onSignal(int number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // Non-blocking: when the pair is full a signal is already waiting to be read.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return; // the signals keep their default action: the program still ends
    }
    writeEnd = fds_[0];
    notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::readPending);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : watched)
        sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    for (int number : watched)
        std::signal(number, SIG_DFL);
    writeEnd = -1;
    delete notifier_;
    for (int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

void SignalWatcher::readPending()
{
    unsigned char byte = 0;
    while (::read(fds_[1], &byte, 1) == 1)
        emit received(byte);
}

QString SignalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    default: return QStringLiteral("signal %1").arg(signalNumber);
    }
}

} // namespace zorvel

#include "HeadlessGateway.h"

#include <QCoreApplication>

#include "ExitCodes.h"
#include "LogCategories.h"
#include "SignalWatcher.h"

namespace zorvel {

HeadlessGateway::HeadlessGateway(std::string workFolder) : link_(std::move(workFolder))
{
    // Queued: an end decided while starting (an unusable store) comes before the event
    // loop runs, and exit() outside the loop would be lost.
    endProgram = [](int code) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
                                  Qt::QueuedConnection);
    };
    // The text was logged where it arose; no one is there to press OK.
    link_.onFatal = [this](const std::string&, int code) {
        if (running_)
            end(code);
    };
}

bool HeadlessGateway::start()
{
    if (!link_.loadConfiguration()) {
        qCInfo(lcApp, "ended with exit code %d", exitcode::configuration);
        return false;
    }
    running_ = true;
    link_.start({}); // no Send button: nothing to send
    return true;
}

void HeadlessGateway::endOnSignal(int signalNumber)
{
    if (!running_)
        return;
    qCInfo(lcApp, "%s received", qPrintable(SignalName(signalNumber)));
    link_.stop();
    end(exitcode::ended);
}

void HeadlessGateway::end(int code)
{
    running_ = false;
    qCInfo(lcApp, "ended with exit code %d", code);
    endProgram(code);
}

} // namespace zorvel

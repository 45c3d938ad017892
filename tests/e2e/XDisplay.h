#pragma once
// Starting X clients (the program, the window manager, the tray host) in the X11 tests on
// a busy machine. A client that cannot connect ends at once, saying so; the server may
// just be slow to take it, so such a start is tried again for a while before the test
// fails. Diagnostics of a start that fails for good go to the test's log.
#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>
#include <functional>

namespace zorvel::testing {

// Until a client can talk to the server of DISPLAY (xdpyinfo gets its answer).
inline bool WaitForDisplay(QDeadlineTimer deadline)
{
    while (!deadline.hasExpired()) {
        QProcess probe;
        probe.start("xdpyinfo", {});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return true;
        probe.kill();
        probe.waitForFinished(1000);
        QTest::qWait(200);
    }
    return false;
}

// What Qt, openbox and Xlib-based tools print when the display refused them.
inline bool SaysNoDisplay(const QByteArray& output)
{
    return output.contains("could not connect to display") || output.contains("Failed to open the display")
        || output.contains("Can't open display") || output.contains("cannot open display");
}

// `process` has just been started. Waits until `ready` holds; while the process ends
// saying it could not open the display, waits for the display and starts it again (the
// same program, arguments, environment and folder). False when the time is up or the
// process ended for another reason; its output then goes to the test's log.
inline bool UntilReadyOnDisplay(QProcess& process, const std::function<bool()>& ready, int timeoutMs = 60000)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (ready())
            return true;
        if (process.state() == QProcess::NotRunning) {
            QByteArray output = process.readAllStandardOutput();
            if (process.processChannelMode() != QProcess::MergedChannels)
                output += process.readAllStandardError();
            if (!SaysNoDisplay(output) || deadline.hasExpired()) {
                qWarning("%s ended (exit %d) before it was ready: %s", qPrintable(process.program()),
                         process.exitCode(), output.constData());
                return false;
            }
            qWarning("%s could not open the display; starting it again", qPrintable(process.program()));
            if (!WaitForDisplay(deadline))
                return false;
            process.start();
            if (!process.waitForStarted(5000))
                return false;
            continue;
        }
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
}

} // namespace zorvel::testing

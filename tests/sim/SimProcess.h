#pragma once
// The simulated modem as a program, for the tests that drive it over its terminal: a run
// in a temporary folder (link, log, inbox) and a raw client exchange as the gateway makes.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zorvel::sim::testing {

const QString kSimulator = QStringLiteral(ZORVEL_BUILD_DIR "/zorvel-simmodem");

struct Sim {
    QTemporaryDir dir;
    QProcess process;
    QString link() const { return dir.filePath("ports/com3"); }
    QString logPath() const { return dir.filePath("sim.log"); }
    QString inbox() const { return dir.filePath("inbox"); }

    bool start(QStringList extra = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(kSimulator, QStringList{"--link", link(), "--log", logPath(), "--inbox", inbox()} + extra);
        if (!process.waitForStarted(5000)) return false;
        QElapsedTimer t;
        t.start();
        // Started once the log says so (a stale link may be there before).
        while (!log().contains(" START ") && t.elapsed() < 5000) QThread::msleep(20);
        return log().contains(" START ") && QFileInfo(link()).isSymLink();
    }
    ~Sim()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(3000);
        }
    }
    QByteArray log() const
    {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void dropFile(const QString& name, const QByteArray& contents) const
    {
        const QString temporary = QDir(inbox()).filePath(name + ".tmp");
        QFile f(temporary);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
        f.close();
        QVERIFY(QFile::rename(temporary, QDir(inbox()).filePath(name)));
    }
};

// Opens the port as the gateway does (raw, input discarded), writes, collects for up to
// `windowMs` (less once a final result or the prompt has arrived), closes.
inline QByteArray exchange(const QString& link, const QByteArray& bytes, int windowMs = 1000, bool discard = true,
                    int* reads = nullptr)
{
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return "<open failed>";
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    if (discard) ::tcflush(fd, TCIFLUSH);
    if (!bytes.isEmpty() && ::write(fd, bytes.constData(), bytes.size()) != bytes.size()) return "<write failed>";
    QByteArray reply;
    QElapsedTimer t;
    t.start();
    qint64 deadline = windowMs;
    while (t.elapsed() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                reply.append(buffer, n);
                if (reads) ++*reads;
            }
        }
        static const QRegularExpression final(R"((\r\nOK\r\n|ERROR\r\n|ERROR: \d+\r\n|\r\n> )$)");
        if (final.match(QString::fromLatin1(reply)).hasMatch()) deadline = qMin(deadline, t.elapsed() + 60);
    }
    ::close(fd);
    return reply;
}

// User and system CPU time the process has used so far.
inline double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ::sysconf(_SC_CLK_TCK);
}

} // namespace zorvel::sim::testing

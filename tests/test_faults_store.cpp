// Store=1 when its file cannot be written or read: the disk fills up, the folder is
// read-only, the file is damaged, another Zorvel has the folder. Whatever happens, a
// message stays on the modem until it is on disk. The cases run side by side.
#include <QtTest>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/StoreRun.h"

using namespace zorvel::testing;

namespace {

Scenario* storeCase(const QString& name, const QByteArray& tag, int messages, bool logFile = true)
{
    QRandomGenerator random(tag.toUInt());
    auto* s = new Scenario;
    s->name = name;
    s->sms = storeMessages(tag, messages, random);
    s->limitSeconds = 150;
    useStore(*s, "Decode=1\r\n", logFile);
    s->storedAtStart = true;
    return s;
}

// The program has ended, or it logged its end 5 s ago and still runs.
bool endedOrSaidSo(Scenario& c)
{
    if (c.rig->gateway.state() == QProcess::NotRunning)
        return true;
    for (const GatewayLine& l : readGatewayLog(gatewayLogPath(c)))
        if (l.text.startsWith("ended with exit code"))
            return QDateTime::currentMSecsSinceEpoch() - l.ms > 5000;
    return false;
}

// The critical line of a store that cannot be written, with the file's path and the
// reason once; what is wrong with it, or nothing (the line goes to the case's notes).
QString checkCriticalLine(Scenario& c, const QByteArray& log)
{
    static const QRegularExpression critical(
        R"(zorvel\.\w+: cannot write ([^\n]*?): ([^\n]+); messages stay on the modem\n)");
    const auto m = critical.match(QString::fromLocal8Bit(log));
    if (!m.hasMatch())
        return "no critical line saying the file cannot be written";
    if (m.captured(1) != c.rig->path("zorvel.sqlite"))
        return "the critical line names " + m.captured(1);
    if (m.captured(2).contains("cannot write"))
        return "the reason repeats the file: " + m.captured(0).trimmed();
    c.notes << m.captured(0).trimmed();
    return {};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The soft limit only: raising a hard limit again takes a privilege even root may lack.
bool setFileSizeLimit(qint64 pid, rlim_t bytes)
{
    const rlimit limit{bytes, RLIM_INFINITY};
    return ::prlimit(pid_t(pid), RLIMIT_FSIZE, &limit, nullptr) == 0;
}

// The disk fills up while the program runs: no file of its process may grow past 4 KiB
// (room for the port's lock file, none for another page of the store's log). What
// arrives then stays on the modem, the log says why at critical level, and once there is
// room again everything goes through.
Scenario* diskFull()
{
    Scenario* s = storeCase("disk full while running", "41", 3, false);
    s->storedAtStart = false;
    auto log = std::make_shared<QByteArray>();
    auto deletesAtLift = std::make_shared<int>(-1);
    auto listsAtLimit = std::make_shared<int>(0);
    s->beforeStart = [before = s->beforeStart](Scenario& c) {
        before(c);
        // A write past the limit then fails with EFBIG instead of killing the program.
        c.rig->gateway.setChildProcessModifier([] { ::signal(SIGXFSZ, SIG_IGN); });
    };
    s->onTick = [log](Scenario& c) { *log += c.rig->gateway.readAllStandardError(); };
    s->steps.append({[](Scenario&) { return true; }, [](Scenario& c) { c.addMessage(c.sms[0]); }});
    s->steps.append({[log](Scenario&) { return log->contains(": delivered "); },
                     [listsAtLimit](Scenario& c) {
                         if (!setFileSizeLimit(c.rig->gateway.processId(), 4096))
                             c.startError = QStringLiteral("prlimit: %1").arg(strerror(errno));
                         *listsAtLimit = c.commands("AT+CMGL");
                         c.addMessage(c.sms[1]);
                         c.addMessage(c.sms[2]);
                     }});
    // Two more lists with the disk full, then room again.
    s->steps.append({[log, listsAtLimit](Scenario& c) {
                         return log->contains("cannot write ") && c.commands("AT+CMGL") >= *listsAtLimit + 3;
                     },
                     [deletesAtLift](Scenario& c) {
                         *deletesAtLift = int(deletedSenders(c.modemEvents()).size());
                         setFileSizeLimit(c.rig->gateway.processId(), RLIM_INFINITY);
                     }});
    s->extraChecks = [log, deletesAtLift](Scenario& c) {
        QStringList wrong;
        const StoreAccount a = settleStoreCase(c);
        if (*deletesAtLift != 1)
            wrong << QStringLiteral("%1 deletes while the disk was full").arg(*deletesAtLift - 1);
        if (const QString problem = checkCriticalLine(c, *log); !problem.isEmpty())
            wrong << problem;
        if (a.accepted != 3 || !a.problems.isEmpty())
            wrong << "after the disk had room again: " + a.summary();
        return wrong;
    };
    return s;
}

// A folder the program may not write to (as root, the program runs as nobody, since root
// writes anyway): nothing can be kept, so nothing leaves the modem.
Scenario* readOnlyFolder()
{
    Scenario* s = storeCase("read-only folder", "42", 2);
    auto code = std::make_shared<int>(-1);
    s->beforeStart = [before = s->beforeStart](Scenario& c) {
        before(c);
        const std::string folder = QFile::encodeName(c.rig->dir.path()).toStdString();
        const std::string link = QFile::encodeName(c.rig->path("ports/com3")).toStdString();
        // In the child, once zorvel.ini is written and the log file open.
        c.rig->gateway.setChildProcessModifier([folder, link] {
            ::chmod(folder.c_str(), 0555);
            if (::geteuid() != 0)
                return;
            // The simulated modem's terminal belongs to root: let nobody open it.
            char target[512];
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) {
                target[n] = '\0';
                ::chmod(target, 0666);
            }
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(120);
        });
    };
    s->finished = [](Scenario& c) {
        return c.rig->gateway.state() == QProcess::NotRunning
            || (gatewayLogText(c).contains("cannot write ") && c.commands("AT+CMGL") >= 3);
    };
    s->extraChecks = [code](Scenario& c) {
        QStringList wrong;
        ::chmod(QFile::encodeName(c.rig->dir.path()).constData(), 0700);
        settleStoreCase(c);
        const QByteArray log = gatewayLogText(c);
        if (c.rig->gateway.state() == QProcess::NotRunning && c.rig->gateway.exitCode() == 120)
            wrong << "could not switch to the user nobody";
        if (const QString problem = checkCriticalLine(c, log); !problem.isEmpty())
            wrong << problem;
        if (c.storeEvents("delete ") != 0)
            wrong << "a message left the modem";
        c.notes << QStringLiteral("%1, %2 lists").arg(c.rig->gateway.state() == QProcess::NotRunning
                                                          ? QStringLiteral("exit %1").arg(c.rig->gateway.exitCode())
                                                          : QStringLiteral("running"))
                                                .arg(c.commands("AT+CMGL"));
        return wrong;
    };
    return s;
}

// A file that is no store of ours: the program refuses to start (exit 65), names the
// file, and leaves it as it was.
Scenario* damagedFile()
{
    Scenario* s = storeCase("damaged zorvel.sqlite", "43", 2);
    auto original = std::make_shared<QByteArray>();
    s->beforeStart = [before = s->beforeStart, original](Scenario& c) {
        before(c);
        *original = "This is no SQLite file, whatever its name says.\n";
        QRandomGenerator random(43);
        for (int i = 0; i < 8192; ++i)
            *original += char(random.bounded(256));
        QFile f(c.rig->path("zorvel.sqlite"));
        if (!f.open(QIODevice::WriteOnly) || f.write(*original) != original->size())
            c.startError = "cannot write the damaged file";
    };
    s->finished = endedOrSaidSo;
    s->extraChecks = [original](Scenario& c) {
        QStringList wrong;
        settleStoreCase(c);
        const QByteArray log = gatewayLogText(c);
        if (c.rig->gateway.state() != QProcess::NotRunning)
            wrong << "still running 5 s after it logged its end";
        else if (c.rig->gateway.exitCode() != 65)
            wrong << QStringLiteral("exit code %1, not 65").arg(c.rig->gateway.exitCode());
        if (!log.contains(QFile::encodeName(c.rig->path("zorvel.sqlite"))))
            wrong << "the text does not name the file: " + QString::fromLocal8Bit(log.right(400));
        if (readAll(c.rig->path("zorvel.sqlite")) != *original)
            wrong << "the damaged file was changed";
        if (c.commands("AT+CMGL") != 0 || c.storeEvents("delete ") != 0)
            wrong << "the program listed or deleted with a damaged store";
        return wrong;
    };
    return s;
}

// A second Zorvel on the same folder ends with exit code 1 before it touches the modem;
// the first is then stopped before its first list, so nothing may have left the modem.
Scenario* secondInstance()
{
    Scenario* s = storeCase("second Zorvel on the folder", "44", 2);
    auto second = std::make_shared<QProcess>();
    auto text = std::make_shared<QByteArray>();
    auto started = std::make_shared<double>(0);
    s->steps.append({[](Scenario& c) { return c.seconds() >= 2 && gatewayLogText(c).contains("starting"); },
                     [second, started](Scenario& c) {
                         second->setWorkingDirectory(c.rig->dir.path());
                         second->setProcessEnvironment(gatewayEnvironment(c));
                         second->start(GatewayRig::tool("zorvel"), {"--no-window"});
                         *started = c.seconds();
                     }});
    // It ends, or it has said it ends and 5 s went by; the first is then stopped before
    // its first list (about 20 s after its start).
    s->steps.append({[second, text, started](Scenario& c) {
                         *text += second->readAllStandardError();
                         return second->state() == QProcess::NotRunning
                             || (text->contains("ended with exit code") && c.seconds() - *started > 6);
                     },
                     [](Scenario& c) {
                         c.rig->gateway.terminate();
                         c.rig->gateway.waitForFinished(5000);
                     }});
    s->finished = [](Scenario& c) { return c.rig->gateway.state() == QProcess::NotRunning; };
    s->extraChecks = [second, text](Scenario& c) {
        QStringList wrong;
        settleStoreCase(c);
        if (second->state() != QProcess::NotRunning)
            wrong << "the second one still runs 5 s after it logged its end";
        else if (second->exitStatus() != QProcess::NormalExit || second->exitCode() != 1)
            wrong << QStringLiteral("the second one ended with %1, not 1").arg(second->exitCode());
        if (!text->contains(QFile::encodeName(c.rig->dir.path())))
            wrong << "its text does not name the folder: " + QString::fromLocal8Bit(text->right(400));
        second->kill();
        second->waitForFinished(3000);
        if (c.rig->gateway.exitCode() != 0)
            wrong << QStringLiteral("the first one ended with %1").arg(c.rig->gateway.exitCode());
        if (c.commands("AT+CMGL") != 0 || c.storeEvents("delete ") != 0)
            wrong << "the modem was listed or a message deleted";
        return wrong;
    };
    return s;
}

} // namespace

class FaultsStore : public QObject {
    Q_OBJECT
    Cases cases_;

private slots:
    void initTestCase()
    {
        for (Scenario* s : {diskFull(), readOnlyFolder(), damagedFile(), secondInstance()})
            cases_.emplace_back(s);
        runAndReport(cases_);
        for (const auto& s : cases_)
            removePortLock(*s);
    }

    void storeFault_data() { addAccountRows(cases_); }
    void storeFault()
    {
        QFETCH(int, which);
        const Scenario& s = *cases_[which];
        QVERIFY2(s.failures.isEmpty(), qPrintable(s.failures.join("; ")));
    }
};

QTEST_GUILESS_MAIN(FaultsStore)
#include "test_faults_store.moc"

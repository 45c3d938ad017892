#pragma once
// The soak: SMS dropped into the modem at random moments while the receiver refuses a
// share of requests at random and, now and then, the modem refuses a delete. Several
// independent gateways may run side by side. The figures come from the environment so
// that tools/soak.sh can run the long version with the same code:
//   ZORVEL_SOAK_GATEWAYS, ZORVEL_SOAK_MESSAGES (in all), ZORVEL_SOAK_ADD_SECONDS (the
//   span in which they arrive), ZORVEL_SOAK_FAIL_RATE, ZORVEL_SOAK_DELETE_FAULTS (per
//   gateway), ZORVEL_SOAK_SAMPLE_SECONDS, ZORVEL_SOAK_LIMIT_SECONDS, ZORVEL_SOAK_SEED.
#include <QRandomGenerator>

#include <unistd.h>

#include "e2e/Scenario.h"

namespace zorvel::testing {

struct SoakSettings {
    int gateways, messages, addSeconds, deleteFaults, sampleSeconds, limitSeconds;
    double failRate;
    quint32 seed;

    static int number(const char* name, int fallback)
    {
        bool ok = false;
        const int v = qEnvironmentVariableIntValue(name, &ok);
        return ok ? v : fallback;
    }
    static SoakSettings fromEnvironment(const SoakSettings& fallback)
    {
        SoakSettings s = fallback;
        s.gateways = number("ZORVEL_SOAK_GATEWAYS", s.gateways);
        s.messages = number("ZORVEL_SOAK_MESSAGES", s.messages);
        s.addSeconds = number("ZORVEL_SOAK_ADD_SECONDS", s.addSeconds);
        s.deleteFaults = number("ZORVEL_SOAK_DELETE_FAULTS", s.deleteFaults);
        s.sampleSeconds = number("ZORVEL_SOAK_SAMPLE_SECONDS", s.sampleSeconds);
        s.limitSeconds = number("ZORVEL_SOAK_LIMIT_SECONDS", s.limitSeconds);
        s.seed = quint32(number("ZORVEL_SOAK_SEED", int(s.seed)));
        if (qEnvironmentVariableIsSet("ZORVEL_SOAK_FAIL_RATE"))
            s.failRate = qEnvironmentVariable("ZORVEL_SOAK_FAIL_RATE").toDouble();
        return s;
    }
};

// CPU seconds and resident memory of a running process.
struct Usage {
    double seconds = 0, cpu = 0;
    long rssKb = 0;
    int forwarded = 0;
};

inline Usage usageOf(qint64 pid)
{
    Usage u;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = stat.readAll().split(')').last().trimmed().split(' ');
        u.cpu = (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                u.rssKb = line.mid(6).trimmed().split(' ').first().toLong();
    return u;
}

// A text made of the awkward pieces web applications trip over, sometimes on two lines.
inline QByteArray awkwardText(QRandomGenerator& random, int n)
{
    static const QList<QByteArray> pieces{
        "Tom & Jerry", "2+2=4", "#1", "100% sure", "caf\xE9", "caf\xC3\xA9", "a=b&c=d", "?/,:;",
        "\xE2\x82\xAC 5", "OK", "\"quoted\"", "tab\\less", "~_.-"};
    QByteArray text = "soak " + QByteArray::number(n);
    const int count = 1 + int(random.bounded(4));
    for (int i = 0; i < count; ++i)
        text += (random.bounded(5) == 0 ? "\n" : " ") + pieces[int(random.bounded(int(pieces.size())))];
    return text;
}

struct SoakGateway {
    Scenario scenario;
    QList<Usage> samples;
};

// Builds one gateway's case: its SMS, their random arrival moments and the delete faults.
inline void planSoakGateway(SoakGateway& g, int number, int messages, const SoakSettings& s,
                            QRandomGenerator& random)
{
    Scenario& c = g.scenario;
    c.name = QStringLiteral("soak gateway %1").arg(number);
    c.storedAtStart = false;
    c.limitSeconds = s.limitSeconds;
    c.modemArgs = {"--mode", "text", "--capacity", "250"};
    c.receiverArgs = {"--fail-rate", QString::number(s.failRate), "--seed", QString::number(s.seed + number)};
    QList<std::pair<double, Action>> timeline;
    for (int i = 0; i < messages; ++i) {
        Sms sms{"+1555" + QByteArray::number(number) + QByteArray::number(100000 + i),
                QStringLiteral("26/12/%1,%2:%3:%4+04")
                    .arg(1 + i % 28, 2, 10, QChar('0')).arg(i / 60 % 24, 2, 10, QChar('0'))
                    .arg(i % 60, 2, 10, QChar('0')).arg(int(random.bounded(60)), 2, 10, QChar('0'))
                    .toLatin1(),
                awkwardText(random, i)};
        c.sms.append(sms);
        timeline.append({random.bounded(double(s.addSeconds)), [sms](Scenario& sc) { sc.addMessage(sms); }});
    }
    // A refused delete: the SMS stays and goes out once more, a duplicate the receiver
    // recognises by its sender, time and text.
    for (int i = 0; i < s.deleteFaults; ++i) {
        const double at = 15 + random.bounded(double(qMax(1, s.addSeconds)));
        timeline.append({at, [](Scenario& sc) { sc.modemControl("error AT+CMGD\n"); }});
        timeline.append({at + 11, [](Scenario& sc) { sc.modemControl("clear\n"); }});
    }
    std::sort(timeline.begin(), timeline.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [at, action] : timeline)
        c.steps.append({[at = at](Scenario& sc) { return sc.seconds() >= at; }, action});

    // Reading the whole modem log is not free on a long run: look every few seconds.
    auto lastLook = std::make_shared<double>(0);
    c.finished = [lastLook](Scenario& sc) {
        if (sc.seconds() - *lastLook < 5)
            return false;
        *lastLook = sc.seconds();
        return everySmsDeleted(sc);
    };
    auto lastSample = std::make_shared<double>(-1e9);
    c.onTick = [&g, lastSample, every = s.sampleSeconds](Scenario& sc) {
        if (sc.seconds() - *lastSample < every || sc.rig->gateway.state() != QProcess::Running)
            return;
        *lastSample = sc.seconds();
        Usage u = usageOf(sc.rig->gateway.processId());
        u.seconds = sc.seconds();
        u.forwarded = sc.storeEvents("delete ");
        g.samples.append(u);
    };
}

// Time, CPU seconds, memory and forwards at each sample, and the CPU used per sample span.
inline void printUsage(const SoakGateway& g)
{
    qInfo("%s: usage samples (elapsed s, CPU s, CPU s in the span, RSS KiB, SMS deleted so far)",
          qPrintable(g.scenario.name));
    for (int i = 0; i < g.samples.size(); ++i) {
        const Usage& u = g.samples[i];
        qInfo("  %7.0f  %7.2f  %6.2f  %7ld  %4d", u.seconds, u.cpu,
              i == 0 ? u.cpu : u.cpu - g.samples[i - 1].cpu, u.rssKb, u.forwarded);
    }
}

} // namespace zorvel::testing

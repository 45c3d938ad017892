// Sending with the real program: `--send` beside a running gateway, the simulated modem
// taking the parts in PDU format and reporting them delivered, and what --outbox shows.
#include <QtTest>

#include "e2e/GatewayRig.h"

using zorvel::testing::GatewayRig;

namespace {

// Cyrillic and an emoji (a surrogate pair): UCS-2, three parts of at most 67 units.
QByteArray threePartText()
{
    QString text = QString::fromUtf8("Привет \xF0\x9F\x91\x8B, ");
    while (text.size() < 150)
        text += QString::fromUtf8("проверка связи ");
    return text.toUtf8();
}

// A line of the modem's log as it writes a field: `key="value"`, with its escapes undone
// for the bytes the decoded text uses here (\xHH only).
QByteArray field(const QByteArray& line, const QByteArray& key)
{
    const int start = line.indexOf(key + "=\"");
    if (start < 0)
        return {};
    QByteArray out;
    for (int i = start + key.size() + 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
            out += static_cast<char>(line.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else {
            out += line[i];
        }
    }
    return out;
}

QByteArray runZorvel(GatewayRig& rig, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(GatewayRig::tool("zorvel"), QStringList{"--folder", rig.dir.path()} + args);
    p.waitForFinished(15000);
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput() + p.readAllStandardError();
}

// Asks the program's listing once a second (each ask starts a process), until it holds `part`.
bool outboxShows(GatewayRig& rig, const QByteArray& part, int seconds)
{
    for (int i = 0; i < seconds; ++i, QTest::qWait(1000))
        if (runZorvel(rig, {"--outbox"}).contains(part))
            return true;
    return false;
}

int countWith(const QList<QByteArray>& lines, const QByteArray& part)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QByteArray& l) { return l.contains(part); }));
}

} // namespace

class OutboxEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void sentInPartsAndReportedDelivered_data();
    void sentInPartsAndReportedDelivered();
    void aModemThatRefusesKeepsTheMessageQueued_data();
    void aModemThatRefusesKeepsTheMessageQueued();
};

void OutboxEndToEnd::sentInPartsAndReportedDelivered_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::newRow("held link") << QByteArray("Link=fast\r\n");
    QTest::newRow("reply window") << QByteArray();
}

void OutboxEndToEnd::sentInPartsAndReportedDelivered()
{
    QFETCH(QByteArray, link);
    GatewayRig rig;
    rig.gatewayArgs = {"--no-window"};
    QVERIFY(rig.startReceiver());
    QVERIFY(rig.startModem({}, {"--report", "*=delivered,1000"}));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QVERIFY(rig.startGateway("Decode=1\r\nStore=1\r\n" + link, env));

    const QByteArray text = threePartText();
    int code = -1;
    const QByteArray id = runZorvel(rig, {"--send", "+15550009999", QString::fromUtf8(text)}, &code).trimmed();
    QVERIFY2(code == 0, id.constData());
    QVERIFY2(QRegularExpression("^[0-9a-f-]{36}$").match(QString::fromLatin1(id)).hasMatch(), id.constData());

    if (!outboxShows(rig, " delivered ", 90)) {
        rig.dir.setAutoRemove(false);
        QFAIL(qPrintable("not delivered; see " + rig.dir.path() + "\n" + runZorvel(rig, {"--outbox"})));
    }
    const QList<QByteArray> sent = rig.modemLog("SENT");
    QCOMPARE(sent.size(), 3);
    QByteArray joined;
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(sent[i].contains("part=" + QByteArray::number(i + 1) + "/3"), sent[i].constData());
        QVERIFY(sent[i].contains("report=yes"));
        joined += field(sent[i], "text");
    }
    QCOMPARE(QString::fromUtf8(joined), QString::fromUtf8(text));
    const QByteArray listing = runZorvel(rig, {"--outbox"});
    QVERIFY2(listing.contains(id) && listing.contains("+15550009999"), listing.constData());
    QVERIFY(!listing.contains(text.left(12))); // never the text
    // The reports were recorded and deleted, not forwarded as messages.
    QTRY_COMPARE_WITH_TIMEOUT(countWith(rig.modemLog("STORE"), "delete"), 3, 20000);
    QVERIFY(rig.received().isEmpty());
    QCOMPARE(rig.gateway.state(), QProcess::Running);
}

void OutboxEndToEnd::aModemThatRefusesKeepsTheMessageQueued_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("an error instead of the prompt") << QStringList{"--cmgs-error", "38"} << QByteArray("+CMS ERROR: 38");
    QTest::newRow("no prompt") << QStringList{"--cmgs-no-prompt"} << QByteArray("no prompt");
}

// An error before the prompt sends nothing: the message waits for its next try.
void OutboxEndToEnd::aModemThatRefusesKeepsTheMessageQueued()
{
    QFETCH(QStringList, fault);
    QFETCH(QByteArray, reason);
    GatewayRig rig;
    rig.gatewayArgs = {"--no-window"};
    QVERIFY(rig.startReceiver());
    QVERIFY(rig.startModem({}, fault));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QVERIFY(rig.startGateway("Decode=1\r\nStore=1\r\nLink=fast\r\n", env));
    int code = -1;
    runZorvel(rig, {"--send", "+15550009999", "Hi"}, &code);
    QCOMPARE(code, 0);
    QVERIFY(outboxShows(rig, reason, 40));
    const QByteArray listing = runZorvel(rig, {"--outbox"});
    QVERIFY2(listing.contains(" queued "), listing.constData());
    QVERIFY(rig.modemLog("SENT").isEmpty());
    // The ESC after the refusal leaves the modem taking commands: receiving goes on.
    QTRY_VERIFY_WITH_TIMEOUT(countWith(rig.modemLog("CMD"), "AT+CMGL") >= 1, 15000);
}

QTEST_GUILESS_MAIN(OutboxEndToEnd)
#include "test_outbox_e2e.moc"

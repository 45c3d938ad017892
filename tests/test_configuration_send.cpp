// The keys of sending SMS in zorvel.ini: their defaults, their ranges, the messages that
// name file, key and value, and that each of them needs Store=1 and Decode=1.
#include <QtTest>

#include "Configuration.h"

using namespace zorvel;

class SendConfigurationTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    std::string folder() const { return dir_.path().toStdString(); }
    std::string iniPath() const { return folder() + "/zorvel.ini"; }
    void writeIni(const QByteArray& content)
    {
        QFile file(QString::fromStdString(iniPath()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

private slots:
    // The sending keys: each optional and checked; any of them needs Store=1 and Decode=1.
    void sendKeys_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("settled"); // "url poll tries perMinute perDay maxParts", or
                                                 // "error <key>|<a line of the message>"
        const QByteArray both = "Store=1\nDecode=1\n";
        auto row = [](const char* name, QByteArray lines, QByteArray settled) {
            QTest::newRow(name) << lines << settled;
        };
        row("absent", "", " 30 5 6 0 10");
        row("absent, with store and decoding", both, " 30 5 6 0 10");
        row("all set", both + "OutboxUrl=https://h/out?k=1\nOutboxPoll=5\nSendTries=100\nSendPerMinute=0\n"
                              "SendPerDay=100000\nSendMaxParts=255\n",
            "https://h/out?k=1 5 100 0 100000 255");
        row("highest and lowest", both + "OutboxPoll=3600\nSendTries=1\nSendPerMinute=600\nSendMaxParts=1\n",
            " 3600 1 600 0 1");
        row("poll too short", both + "OutboxPoll=4\n", "error OutboxPoll|Value found: \"4\"\n");
        row("poll too long", both + "OutboxPoll=3601\n", "error OutboxPoll|Expected: whole seconds from 5 to 3600");
        row("tries 0", both + "SendTries=0\n", "error SendTries|Value found: \"0\"");
        row("per minute over 600", both + "SendPerMinute=601\n", "error SendPerMinute|from 0 (no cap) to 600");
        row("per day over 100000", both + "SendPerDay=100001\n", "error SendPerDay|Value found: \"100001\"");
        row("per day, a huge number", both + "SendPerDay=99999999999999999999\n", "error SendPerDay|");
        row("max parts 0", both + "SendMaxParts=0\n", "error SendMaxParts|such as 4 (the line SendMaxParts=4)");
        row("a negative number", both + "SendTries=-1\n", "error SendTries|");
        row("a unit", both + "OutboxPoll=30s\n", "error OutboxPoll|Value found: \"30s\"");
        row("empty", both + "SendTries=\n", "error SendTries|Value found: \"\"");
        row("a control byte", both + "SendTries=\x1b[5\n", "error SendTries|Value found: \"\\x1B[5\"");
        row("url not http", both + "OutboxUrl=ftp://h/out\n", "error OutboxUrl|which is not an http or https address");
        row("url with a blank", both + "OutboxUrl=\"http://h/a b\"\n", "error OutboxUrl|which holds a blank");
        row("url empty", both + "OutboxUrl=\n", "error OutboxUrl|Value found: \"\"");
        row("url without store", "Decode=1\nOutboxUrl=https://h/out\n",
            "error OutboxUrl|Value found: \"https://h/out\", while Store=1 is missing");
        row("tries without decoding", "Store=1\nSendTries=3\n",
            "error SendTries|Zorvel cannot start: sending SMS needs Decode=1.");
        row("cap without either", "Store=0\nSendPerDay=10\n",
            "error SendPerDay|while Store=1 and Decode=1 is missing");
        row("OutboxPoll named before SendMaxParts", "SendMaxParts=3\nOutboxPoll=60\n", "error OutboxPoll|Expected: Store=1 and Decode=1");
    }
    void sendKeys()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, settled);
        writeIni("[Zorvel]\nCOM=3\n" + lines);
        const ConfigurationResult r = LoadConfiguration(folder());
        if (settled.startsWith("error")) {
            QVERIFY(!r.config);
            const QByteArray error = QByteArray::fromStdString(r.error);
            const QList<QByteArray> expected = settled.mid(6).split('|');
            QVERIFY2(error.contains(QByteArray::fromStdString(iniPath())), error);
            QVERIFY2(error.contains("Section: [Zorvel]\nKey: " + expected[0] + "\n"), error);
            QVERIFY2(error.contains(expected[1]), error);
            QCOMPARE(error.count('\n'), 6);
            return;
        }
        QVERIFY2(r.config, r.error.c_str());
        const Configuration& c = *r.config;
        QCOMPARE(QByteArray::fromStdString(c.OutboxUrl + " " + std::to_string(c.OutboxPoll) + " " +
                                           std::to_string(c.SendTries) + " " + std::to_string(c.SendPerMinute) +
                                           " " + std::to_string(c.SendPerDay) + " " +
                                           std::to_string(c.SendMaxParts)),
                 settled);
    }
};

QTEST_GUILESS_MAIN(SendConfigurationTest)
#include "test_configuration_send.moc"

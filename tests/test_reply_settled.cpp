// Which bytes at a reply's end leave it settled: empty lines and the modem's own lines
// only, a line under way counting as the reply's unless only whole lines are looked at.
#include <QtTest>

#include "ReplySettled.h"

using namespace zorvel;

class ReplySettledTest : public QObject {
    Q_OBJECT
private slots:
    void onlyOwnLines_data();
    void onlyOwnLines();
};

void ReplySettledTest::onlyOwnLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ownOnly");        // OnlyOwnLines(bytes)
    QTest::addColumn<bool>("wholeLinesOwn");  // OnlyOwnLines(WholeLines(bytes))
    QTest::newRow("nothing") << QByteArray() << true << true;
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n") << true << true;
    QTest::newRow("an announcement") << QByteArray("\r\n+CMTI: \"SM\",3\r\n") << true << true;
    QTest::newRow("RING and a signal") << QByteArray("\r\nRING\r\n\r\n^RSSI:18\r\n") << true << true;
    QTest::newRow("a final result") << QByteArray("\r\nOK\r\n") << false << false;
    QTest::newRow("a text imitating one") << QByteArray("+CMTI: call us\r\n") << false << false;
    QTest::newRow("a line under way") << QByteArray("\r\n+CSQ: 1") << false << true;
    QTest::newRow("own line, then one under way") << QByteArray("RING\r\nO") << false << true;
    QTest::newRow("an announcement without its LF") << QByteArray("+CMTI: \"SM\",3") << true << true;
    QTest::newRow("a text line, then own lines") << QByteArray("Hi\r\nRING\r\n") << false << false;
}

void ReplySettledTest::onlyOwnLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ownOnly);
    QFETCH(bool, wholeLinesOwn);
    const std::string raw = bytes.toStdString();
    QCOMPARE(OnlyOwnLines(raw), ownOnly);
    QCOMPARE(OnlyOwnLines(WholeLines(raw)), wholeLinesOwn);
}

QTEST_GUILESS_MAIN(ReplySettledTest)
#include "test_reply_settled.moc"

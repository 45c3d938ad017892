// Which bytes at a reply's end leave it settled: empty lines and the modem's own lines
// only, a line under way counting as the reply's unless only whole lines are looked at.
// And how the held link cuts the bytes it reads outside a reply into lines.
#include <QtTest>

#include "LineBuffer.h"
#include "ReplySettled.h"

using namespace zorvel;

class ReplySettledTest : public QObject {
    Q_OBJECT
private slots:
    void onlyOwnLines_data();
    void onlyOwnLines();
    void lineBuffer_data();
    void lineBuffer();
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

// Pieces as they arrive, separated by '|'; the lines handed out, joined by '|', and
// whether the last piece dropped an unended line (longest: 8 bytes).
void ReplySettledTest::lineBuffer_data()
{
    QTest::addColumn<QByteArray>("pieces");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("one line") << QByteArray("OK\r\n") << QByteArray("OK\r") << false;
    QTest::newRow("a line in two pieces") << QByteArray("+CM|TI: 1\n") << QByteArray("+CMTI: 1") << false;
    QTest::newRow("two lines in one piece") << QByteArray("AT\nOK\n") << QByteArray("AT|OK") << false;
    QTest::newRow("junk past the longest") << QByteArray("123456789") << QByteArray() << true;
    QTest::newRow("junk dropped, then a line") << QByteArray("123456789|OK\n") << QByteArray("OK") << false;
    QTest::newRow("a long line with its end") << QByteArray("1234567890\n") << QByteArray("1234567890") << false;
}

void ReplySettledTest::lineBuffer()
{
    QFETCH(QByteArray, pieces);
    QFETCH(QByteArray, lines);
    QFETCH(bool, dropped);
    LineBuffer buffer(8);
    QByteArrayList out;
    for (const QByteArray& piece : pieces.split('|'))
        for (const std::string& line : buffer.feed(piece.toStdString()))
            out << QByteArray::fromStdString(line);
    QCOMPARE(out.join('|'), lines);
    QCOMPARE(buffer.dropped(), dropped);
}

QTEST_GUILESS_MAIN(ReplySettledTest)
#include "test_reply_settled.moc"

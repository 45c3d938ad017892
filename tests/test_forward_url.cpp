// The forwarding address: every awkward byte of key, sender, time and text survives the
// trip, as a strict URL parser and a query decoder on the receiving side see it.
#include <QtTest>
#include <QUrl>
#include <QUrlQuery>

#include "ForwardUrl.h"

using namespace zorvel;

class ForwardUrlTest : public QObject {
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("sender");
        QTest::addColumn<QByteArray>("stamp");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("query"); // what follows Dest

        QTest::newRow("worked example")
            << QByteArray("s3cret") << QByteArray("+447700900123") << QByteArray("17/11/19,14:05:09+00")
            << QByteArray("Hello there")
            << QByteArray("?key=s3cret&sender=%2B447700900123&time=17%2F11%2F19%2C14%3A05%3A09%2B00"
                          "&message=Hello%20there");
        QTest::newRow("query syntax inside the values")
            << QByteArray("a&b=c") << QByteArray("+1 2") << QByteArray("x?y#z")
            << QByteArray("50% off & more = #1, see /deals: yes?")
            << QByteArray("?key=a%26b%3Dc&sender=%2B1%202&time=x%3Fy%23z"
                          "&message=50%25%20off%20%26%20more%20%3D%20%231%2C%20see%20%2Fdeals%3A%20yes%3F");
        QTest::newRow("Latin-1 byte goes out as itself")
            << QByteArray("k") << QByteArray("+33600000001") << QByteArray("t") << QByteArray("caf\xE9")
            << QByteArray("?key=k&sender=%2B33600000001&time=t&message=caf%E9");
        QTest::newRow("UTF-8 bytes one by one")
            << QByteArray("k\xC3\xBC") << QByteArray("s") << QByteArray("t") << QByteArray("\xE2\x82\xAC 5")
            << QByteArray("?key=k%C3%BC&sender=s&time=t&message=%E2%82%AC%205");
        QTest::newRow("empty values") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                      << QByteArray("?key=&sender=&time=&message=");
        QTest::newRow("unreserved bytes stay, LF and quote do not")
            << QByteArray("A-z.0_9~") << QByteArray("PDU") << QByteArray("PDU") << QByteArray("two\nlines \"q\"")
            << QByteArray("?key=A-z.0_9~&sender=PDU&time=PDU&message=two%0Alines%20%22q%22");
    }
    void values()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, sender);
        QFETCH(QByteArray, stamp);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, query);
        const QByteArray dest = "http://127.0.0.1:8080/sms/in.php";

        const QByteArray url = QByteArray::fromStdString(BuildForwardUrl(
            dest.toStdString(), key.toStdString(), sender.toStdString(), stamp.toStdString(), text.toStdString()));
        QCOMPARE(url, dest + query);

        // The receiving side: a strict parse, then each value decoded back to its bytes.
        const QUrl parsed(QString::fromLatin1(url), QUrl::StrictMode);
        QVERIFY2(parsed.isValid(), qPrintable(parsed.errorString()));
        QCOMPARE(parsed.path(), QStringLiteral("/sms/in.php"));
        const auto items = QUrlQuery(parsed).queryItems(QUrl::FullyEncoded);
        QCOMPARE(items.size(), 4);
        const QByteArray names[] = {"key", "sender", "time", "message"};
        const QByteArray values[] = {key, sender, stamp, text};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(items[i].first.toLatin1(), names[i]);
            QCOMPARE(QByteArray::fromPercentEncoding(items[i].second.toLatin1()), values[i]);
        }
    }

    // Dest's own query stays in front; the values join it, never after a second '?'.
    void joinsDestsQuery_data()
    {
        QTest::addColumn<QByteArray>("dest");
        QTest::addColumn<QByteArray>("url");
        const QByteArray values = "key=k&sender=s&time=t&message=m";
        QTest::newRow("no query") << QByteArray("http://h/in") << "http://h/in?" + values;
        QTest::newRow("a query") << QByteArray("https://h/in?src=modem") << "https://h/in?src=modem&" + values;
        QTest::newRow("ends in ?") << QByteArray("http://h/in?") << "http://h/in?" + values;
        QTest::newRow("ends in &") << QByteArray("http://h/in?a=1&") << "http://h/in?a=1&" + values;
        QTest::newRow("& in the path only") << QByteArray("http://h/a&b") << "http://h/a&b?" + values;
        QTest::newRow("empty Dest") << QByteArray() << "?" + values;
    }
    void joinsDestsQuery()
    {
        QFETCH(QByteArray, dest);
        QTEST(QByteArray::fromStdString(BuildForwardUrl(dest.toStdString(), "k", "s", "t", "m")), "url");
    }
};

QTEST_GUILESS_MAIN(ForwardUrlTest)
#include "test_forward_url.moc"

// The forwarding request over QNetworkAccessManager against the local web receiver.
#include <QProcess>
#include <QtTest>

#include "ForwardUrl.h"
#include "QtHttpClient.h"

using namespace zorvel;

namespace {

struct Receiver {
    QProcess process;
    QString address;
    explicit Receiver(const QStringList& options)
    {
        process.start(ZORVEL_BUILD_DIR "/zorvel-webreceiver", QStringList{"--port", "0"} + options);
        if (process.waitForReadyRead(5000)) {
            const QByteArray line = process.readLine().trimmed();
            address = QString::fromLatin1(line.mid(line.indexOf("127.0.0.1")));
        }
    }
    ~Receiver()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
};

HttpResult fetch(QtHttpClient& client, const std::string& url, int timeoutMs = 10000)
{
    HttpResult result;
    bool done = false;
    client.get(url, [&](const HttpResult& r) {
        result = r;
        done = true;
    });
    [[maybe_unused]] const bool inTime = QTest::qWaitFor([&] { return done; }, timeoutMs);
    return result;
}

} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data();
    void outcomes();
    void unusableDestinations_data();
    void unusableDestinations();
    void slowServerTimesOut();
};

void HttpClientTest::outcomes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("200") << "200" << 200 << true;
    QTest::newRow("204") << "204" << 204 << true;
    QTest::newRow("299") << "299" << 299 << true;
    QTest::newRow("500") << "500" << 500 << false;
    QTest::newRow("403") << "403" << 403 << false;
    QTest::newRow("300") << "300" << 300 << false;
}

void HttpClientTest::outcomes()
{
    QFETCH(QString, script);
    Receiver receiver({"--status-script", script});
    QVERIFY(!receiver.address.isEmpty());
    QtHttpClient client;
    const HttpResult result = fetch(client, BuildForwardUrl("http://" + receiver.address.toStdString() + "/sms",
                                                            "k", "+1555", "26/12/07,10:00:00+04", "a&b"));
    QTEST(result.status, "status");
    QTEST(result.accepted(), "accepted");
}

void HttpClientTest::unusableDestinations_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing listening") << "http://127.0.0.1:9/sms?key=k" << "connection refused";
    QTest::newRow("empty Dest") << "?key=k" << "\"Dest\" is not a usable http or https address";
    QTest::newRow("not http") << "ftp://127.0.0.1/sms?key=k" << "\"Dest\" is not a usable http or https address";
    QTest::newRow("no host") << "http:///sms?key=k" << "\"Dest\" is not a usable http or https address";
}

void HttpClientTest::unusableDestinations()
{
    QFETCH(QString, url);
    QFETCH(QString, error);
    QtHttpClient client;
    const HttpResult result = fetch(client, url.toStdString());
    QCOMPARE(result.status, 0);
    QCOMPARE(QString::fromStdString(result.error), error);
    QVERIFY(!result.accepted());
}

void HttpClientTest::slowServerTimesOut()
{
    Receiver receiver({"--delay-ms", "3000"});
    qputenv("ZORVEL_HTTP_TIMEOUT_MS", "500");
    QtHttpClient client;
    qunsetenv("ZORVEL_HTTP_TIMEOUT_MS");
    QElapsedTimer elapsed;
    elapsed.start();
    const HttpResult result = fetch(client, "http://" + receiver.address.toStdString() + "/sms?key=k");
    QVERIFY(elapsed.elapsed() < 2500);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.error, std::string("no answer within 500 ms"));
}

QTEST_GUILESS_MAIN(HttpClientTest)
#include "test_http_client.moc"

// The forwarding request against a web server inside the test that answers with exact
// bytes: what counts as the final status, what it costs to read, how long it may take.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include "ForwardUrl.h"
#include "HttpGet.h"
#include "HttpResponseHead.h"
#include "QtHttpClient.h"

using namespace zorvel;

namespace {

enum class After { Close, Stay, Endless, Trickle };

// Answers every request with `answer` once its head is in; "%REQUEST%" stands for the
// request's own bytes. Then closes, stays silent, writes without end (100 MB at most,
// only as fast as the client reads) or adds a byte every 200 ms.
class RawServer : public QObject {
public:
    QByteArray firstRequest;
    int connections = 0;
    int open = 0;     // connections the client has not closed yet
    int mostOpen = 0;

    RawServer(QByteArray answer, After after) : answer_(std::move(answer)), after_(after)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                serve(s);
        });
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

private:
    void serve(QTcpSocket* s)
    {
        ++connections;
        mostOpen = std::max(mostOpen, ++open);
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            --open;
            received_.remove(s); // a later socket may get the same address
            s->deleteLater();
        });
        connect(s, &QTcpSocket::readyRead, s, [this, s] {
            QByteArray& got = received_[s];
            const bool answered = got.contains("\r\n\r\n");
            got += s->readAll();
            if (answered || !got.contains("\r\n\r\n"))
                return;
            if (firstRequest.isEmpty())
                firstRequest = got;
            s->write(QByteArray(answer_).replace("%REQUEST%", got));
            if (after_ == After::Close) {
                s->disconnectFromHost();
            } else if (after_ == After::Endless) {
                const auto more = [s] {
                    if (s->bytesToWrite() < 65536 && s->property("sent").toLongLong() < 100'000'000) {
                        s->setProperty("sent", s->property("sent").toLongLong() + 65536);
                        s->write(QByteArray(65536, 'x'));
                    }
                };
                connect(s, &QTcpSocket::bytesWritten, s, more);
                more();
            } else if (after_ == After::Trickle) {
                auto* timer = new QTimer(s);
                connect(timer, &QTimer::timeout, s, [s] { s->write("a"); });
                timer->start(200);
            }
        });
    }

    QHash<QTcpSocket*, QByteArray> received_; // outlives the server's sockets
    QTcpServer server_;
    QByteArray answer_;
    After after_;
};

struct Outcome {
    HttpResult result;
    int calls = 0;
    qint64 ms = -1;
    bool inFlightAfterGet = false;
    bool inFlightInDone = true;
};

Outcome fetch(QtHttpClient& client, const std::string& url, int waitMs = 5000)
{
    Outcome out;
    QElapsedTimer elapsed;
    elapsed.start();
    client.get(url, [&](const HttpResult& r) {
        out.result = r;
        out.ms = elapsed.elapsed();
        ++out.calls;
        out.inFlightInDone = client.requestInFlight();
    });
    out.inFlightAfterGet = client.requestInFlight() && out.calls == 0;
    [[maybe_unused]] const bool inTime = QTest::qWaitFor([&] { return out.calls > 0; }, waitMs);
    return out;
}

// The process's peak resident memory in kB.
qint64 peakMemoryKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

const std::string key = "s3cr+t &key";

} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void responseHead_data();
    void responseHead();
    void sameRequestAsBefore_data();
    void sameRequestAsBefore();
    void destGoesOutAsWritten_data();
    void destGoesOutAsWritten();
    void aServerThatNeverClosesHoldsNoSockets();
    void requestBytes_data();
    void requestBytes();
    void unusableDestinations_data();
    void unusableDestinations();
    void clientEndsFirst_data();
    void clientEndsFirst();
};

void HttpClientTest::answers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<After>("after");
    QTest::addColumn<int>("timeoutMs"); // 0: the program's own
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("shown"); // HttpResult::describe()
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";
    auto row = [](const char* name, QByteArray answer, After after, int timeoutMs, int status, QString shown) {
        QTest::newRow(name) << answer << after << timeoutMs << status << shown;
    };
    row("200", ok, After::Close, 0, 200, "HTTP 200");
    row("204, connection kept", "HTTP/1.1 204 No Content\r\n\r\n", After::Stay, 0, 204, "HTTP 204");
    row("500", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror", After::Close, 0, 500, "HTTP 500");
    row("HTTP/1.0, bare LF", "HTTP/1.0 200 OK\nContent-Type: text/plain\n\nOK", After::Close, 0, 200, "HTTP 200");
    row("endless body", "HTTP/1.1 200 OK\r\n\r\n", After::Endless, 0, 200, "HTTP 200");
    row("trickling body", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", After::Trickle, 0, 200, "HTTP 200");
    row("head never ends", "HTTP/1.1 200 OK\r\nX-Slow: a", After::Trickle, 500, 0, "no answer within 500 ms");
    row("no answer", "", After::Stay, 500, 0, "no answer within 500 ms");
    row("103 then 200", "HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n" + ok, After::Close, 0, 200,
        "HTTP 200");
    row("100 then 500", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n", After::Close, 0,
        500, "HTTP 500");
    row("100, then closed", "HTTP/1.1 100 Continue\r\n\r\n", After::Close, 0, 0, "connection closed");
    row("302 to another host", "HTTP/1.1 302 Found\r\nLocation: %OTHER%/stolen\r\n\r\n", After::Close, 0, 302,
        "HTTP 302 (redirect not followed)");
    row("closed without a word", "", After::Close, 0, 0, "connection closed");
    row("no web server", "SSH-2.0-OpenSSH_9.2\r\n", After::Stay, 0, 0, "the answer is not HTTP/1.x");
    row("request echoed", "%REQUEST%", After::Stay, 0, 0, "the answer is not HTTP/1.x");
    row("head too long", "HTTP/1.1 200 OK\r\nX-Big: " + QByteArray(40000, 'a') + "\r\n\r\n", After::Stay, 0, 0,
        "the answer's head is longer than 32 KiB");
}

void HttpClientTest::answers()
{
    QFETCH(QByteArray, answer);
    QFETCH(After, after);
    QFETCH(int, timeoutMs);
    RawServer other("HTTP/1.1 200 OK\r\n\r\n", After::Close);
    RawServer server(answer.replace("%OTHER%", QByteArray::fromStdString(other.base())), after);
    if (timeoutMs)
        qputenv("ZORVEL_HTTP_TIMEOUT_MS", QByteArray::number(timeoutMs));
    QtHttpClient client;
    qunsetenv("ZORVEL_HTTP_TIMEOUT_MS");
    const qint64 memoryBefore = peakMemoryKb();

    const Outcome out = fetch(client, BuildForwardUrl(server.base() + "/sms", key, "+1555", "26/12/07,10:00:00+04", "a&b"));
    QTest::qWait(50);
    QCOMPARE(out.calls, 1);
    QVERIFY(out.inFlightAfterGet);
    QVERIFY(!out.inFlightInDone);
    QVERIFY(!client.requestInFlight());
    QTEST(out.result.status, "status");
    QTEST(QString::fromStdString(out.result.describe()), "shown");
    QVERIFY(out.result.describe().find("s3cr") == std::string::npos);
    // Decided on the head, or at the deadline; never by the body.
    QVERIFY2(out.ms < 2000, qPrintable(QString::number(out.ms)));
    QVERIFY2(peakMemoryKb() - memoryBefore < 32 * 1024, "the body was kept");
    QCOMPARE(server.connections, 1);
    QCOMPARE(other.connections, 0);
    QVERIFY(server.firstRequest.startsWith("GET /sms?key=s3cr%2Bt%20%26key&sender=%2B1555&"));
}

void HttpClientTest::responseHead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("outcome"); // 0 incomplete, 1 complete, 2 malformed
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length");
    const QByteArray head = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n";
    QTest::newRow("complete, body after") << head + "body" << 1 << 200 << int(head.size());
    QTest::newRow("no reason phrase") << QByteArray("HTTP/1.1 204\r\n\r\n") << 1 << 204 << 16;
    QTest::newRow("bare LF") << QByteArray("HTTP/1.0 404 x\nA: b\n\n") << 1 << 404 << 21;
    QTest::newRow("first of two heads") << "HTTP/1.1 103 Early\r\n\r\n" + head << 1 << 103 << 22;
    QTest::newRow("folded header") << QByteArray("HTTP/1.1 200 OK\r\nA: b\r\n c\r\n\r\n") << 1 << 200 << 29;
    QTest::newRow("no blank line yet") << QByteArray("HTTP/1.1 200 OK\r\nA: b\r\n") << 0 << 0 << 0;
    QTest::newRow("start so far") << QByteArray("HTT") << 0 << 0 << 0;
    QTest::newRow("no HTTP from the start") << QByteArray("HTX") << 2 << 0 << 0;
    QTest::newRow("HTTP/2") << QByteArray("HTTP/2 200 OK\r\n\r\n") << 2 << 0 << 0;
    QTest::newRow("600") << QByteArray("HTTP/1.1 600 X\r\n\r\n") << 2 << 0 << 0;
    QTest::newRow("header without colon") << QByteArray("HTTP/1.1 200 OK\r\nbroken\r\n\r\n") << 2 << 0 << 0;
    QTest::newRow("blank in name") << QByteArray("HTTP/1.1 200 OK\r\nA b: c\r\n\r\n") << 2 << 0 << 0;
    QTest::newRow("fold after status") << QByteArray("HTTP/1.1 200 OK\r\n A: b\r\n\r\n") << 2 << 0 << 0;
    QTest::newRow("CR inside a line") << QByteArray("HTTP/1.1 500 x\rHTTP/1.1 200 OK\r\n\r\n") << 2 << 0 << 0;
}

void HttpClientTest::responseHead()
{
    QFETCH(QByteArray, bytes);
    const ResponseHead head = ParseResponseHead(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    QTEST(int(head.outcome), "outcome");
    QTEST(head.status, "status");
    QTEST(int(head.length), "length");
}

// The request line and Host exactly as QNetworkAccessManager sent them.
void HttpClientTest::sameRequestAsBefore_data()
{
    QTest::addColumn<QByteArray>("rest"); // after scheme and authority
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("forwarding") << QByteArray("/sms?src=m&key=a%26b&message=%2B1%20x%23")
                                << QByteArray("GET /sms?src=m&key=a%26b&message=%2B1%20x%23 HTTP/1.1");
    QTest::newRow("empty path") << QByteArray("?key=k") << QByteArray("GET /?key=k HTTP/1.1");
    QTest::newRow("UTF-8 path, brackets") << QByteArray("/caf\xC3\xA9?q=[1]")
                                          << QByteArray("GET /caf%C3%A9?q=[1] HTTP/1.1");
}

void HttpClientTest::sameRequestAsBefore()
{
    QFETCH(QByteArray, rest);
    QFETCH(QByteArray, requestLine);
    RawServer ours("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", After::Close);
    RawServer before("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", After::Close);
    QtHttpClient client;
    QCOMPARE(fetch(client, ours.base() + rest.toStdString()).result.status, 200);
    QNetworkAccessManager manager;
    const QUrl url(QString::fromUtf8(QByteArray::fromStdString(before.base()) + rest), QUrl::StrictMode);
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QTRY_VERIFY(reply->isFinished());
    QVERIFY(!ours.firstRequest.isEmpty() && !before.firstRequest.isEmpty());

    const auto lines = [](const QByteArray& request) { return request.split('\n'); };
    QCOMPARE(lines(ours.firstRequest)[0], lines(before.firstRequest)[0]);
    QCOMPARE(lines(ours.firstRequest)[0], requestLine + '\r');
    const auto host = [](const QByteArray& request, const std::string& base) {
        return request.split('\n')[1].replace(QByteArray::fromStdString(base.substr(7)), "HOST");
    };
    QCOMPARE(host(ours.firstRequest, ours.base()), QByteArray("Host: HOST\r"));
    QCOMPARE(host(before.firstRequest, before.base()), QByteArray("Host: HOST\r"));
}

// Path and query exactly as in zorvel.ini, the values after them; only bytes a request
// line cannot hold are encoded, and a fragment never goes out.
void HttpClientTest::destGoesOutAsWritten_data()
{
    QTest::addColumn<QByteArray>("rest"); // Dest after scheme and authority
    QTest::addColumn<QByteArray>("target");
    const QByteArray values = "key=k&sender=s&time=t&message=m";
    QTest::newRow("dot segments, escapes kept") << QByteArray("/a/./b/../sms%7e%41?x=%41%7e")
                                                << "/a/./b/../sms%7e%41?x=%41%7e&" + values;
    QTest::newRow("encoded slash and percent") << QByteArray("/a%2Fb/%25?p=%2F%25") << "/a%2Fb/%25?p=%2F%25&" + values;
    QTest::newRow("empty path") << QByteArray() << "/?" + values;
    QTest::newRow("query only") << QByteArray("?src=m") << "/?src=m&" + values;
    QTest::newRow("leading dot segments") << QByteArray("/../x/.") << "/../x/.?" + values;
    QTest::newRow("double slashes") << QByteArray("//in//sms") << "//in//sms?" + values;
    QTest::newRow("UTF-8 letter, brackets") << QByteArray("/caf\xC3\xA9?q=[1]") << "/caf%C3%A9?q=[1]&" + values;
    QTest::newRow("fragment cut off") << QByteArray("/in#f") << QByteArray("/in");
}

void HttpClientTest::destGoesOutAsWritten()
{
    QFETCH(QByteArray, rest);
    QFETCH(QByteArray, target);
    RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", After::Close);
    QtHttpClient client;
    const std::string dest = server.base() + rest.toStdString();
    QCOMPARE(fetch(client, BuildForwardUrl(dest, "k", "s", "t", "m")).result.status, 200);
    QCOMPARE(server.firstRequest.split('\n')[0], "GET " + target + " HTTP/1.1\r");
}

// A server that answers and keeps the connection: it is let go a moment after the answer,
// and a quick run of requests never holds more than a bounded number of sockets.
void HttpClientTest::aServerThatNeverClosesHoldsNoSockets()
{
    RawServer server("HTTP/1.1 200 OK\r\n\r\n", After::Stay);
    QtHttpClient client;
    for (int i = 0; i < 40; ++i)
        QCOMPARE(QString::fromStdString(fetch(client, server.base() + "/sms?key=k").result.describe()), QString("HTTP 200"));
    // The draining ones, the one in flight, one whose end the server has yet to see.
    QVERIFY2(server.mostOpen <= HttpGet::drainingAtMost + 2, qPrintable(QString::number(server.mostOpen)));
    QTRY_COMPARE_WITH_TIMEOUT(server.open, 0, 5000);
}

// What no server of the test can show: an IPv6 Host, and credentials from the address.
void HttpClientTest::requestBytes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("IPv6") << "http://[::1]:81/p?q" << QByteArray("GET /p?q HTTP/1.1\r\nHost: [::1]:81\r\n");
    QTest::newRow("user and password") << "http://us%20er:p%40w@h/x#f"
        << QByteArray("GET /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\nAccept-Language: en,*\r\n"
                      "User-Agent: Mozilla/5.0\r\nAuthorization: Basic dXMgZXI6cEB3\r\n\r\n");
}

void HttpClientTest::requestBytes()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, head);
    const QByteArray request = GetRequestBytes(QUrl(url, QUrl::StrictMode), RequestTarget(url.toStdString()));
    QVERIFY2(request.startsWith(head), request);
}

void HttpClientTest::unusableDestinations_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing listening") << "http://127.0.0.1:9/sms?key=k" << "connection refused";
    QTest::newRow("empty Dest") << "?key=k" << "\"Dest\" is not a usable http or https address";
    QTest::newRow("not http") << "ftp://127.0.0.1/sms?key=k" << "\"Dest\" is not a usable http or https address";
    QTest::newRow("no host") << "http:///sms?key=k" << "\"Dest\" is not a usable http or https address";
    // Bytes no request line may hold are refused, never sent as they are.
    QTest::newRow("blank in the path") << "http://127.0.0.1:9/a b?key=k" << "\"Dest\" is not a usable http or https address";
}

void HttpClientTest::unusableDestinations()
{
    QFETCH(QString, url);
    QtHttpClient client;
    const Outcome out = fetch(client, url.toStdString());
    QCOMPARE(out.calls, 1);
    QCOMPARE(out.result.status, 0);
    QTEST(QString::fromStdString(out.result.error), "error");
}

// Gone before its answer, or while the unwanted body still comes: no late call, no crash.
void HttpClientTest::clientEndsFirst_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("calls");
    QTest::newRow("before the answer") << QByteArray("HTTP/1.1 200 OK\r\n") << 0;
    QTest::newRow("during the body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9999\r\n\r\n") << 1;
}

void HttpClientTest::clientEndsFirst()
{
    QFETCH(QByteArray, answer);
    RawServer server(answer, After::Trickle);
    auto client = std::make_unique<QtHttpClient>();
    int calls = 0;
    client->get(server.base() + "/sms?key=k", [&](const HttpResult&) { ++calls; });
    QVERIFY(client->requestInFlight());
    QTest::qWait(300);
    client.reset();
    QTest::qWait(300);
    QTEST(calls, "calls");
}

QTEST_GUILESS_MAIN(HttpClientTest)
#include "test_http_client.moc"

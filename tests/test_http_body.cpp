// The answer's body, for requests that ask for it: framed by length, chunks or the close,
// never longer than the limit, never cut short and taken for whole; against a server in
// the test that answers with exact bytes, and through the reader a byte at a time.
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "HttpBodyReader.h"
#include "HttpResponseHead.h"
#include "QtHttpClient.h"

using namespace zorvel;

namespace {

enum class Then { Close, Stay, Endless };

// Answers each request with `answer` once its head is in, then closes, stays silent, or
// writes 'x' without end (as fast as the client reads, 10 MB at most).
class AnsweringServer : public QObject {
public:
    QByteArrayList requests;

    AnsweringServer(QByteArray answer, Then then) : answer_(std::move(answer)), then_(then)
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
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QTcpSocket::readyRead, s, [this, s] {
            QByteArray got = s->property("got").toByteArray() + s->readAll();
            s->setProperty("got", got);
            if (!got.contains("\r\n\r\n") || s->property("answered").toBool())
                return;
            s->setProperty("answered", true);
            requests.append(got);
            s->write(answer_);
            if (then_ == Then::Close)
                s->disconnectFromHost();
            if (then_ != Then::Endless)
                return;
            const auto more = [s] {
                const qint64 sent = s->property("sent").toLongLong();
                if (s->bytesToWrite() < 65536 && sent < 10'000'000) {
                    s->setProperty("sent", sent + 65536);
                    s->write(QByteArray(65536, 'x'));
                }
            };
            connect(s, &QTcpSocket::bytesWritten, s, more);
            more();
        });
    }

    QTcpServer server_;
    QByteArray answer_;
    Then then_;
};

HttpResult fetch(QtHttpClient& client, const std::string& url, const HttpRequestOptions& options)
{
    HttpResult result;
    bool done = false;
    client.get(url, {}, options, [&](const HttpResult& r) {
        result = r;
        done = true;
    });
    [[maybe_unused]] const bool inTime = QTest::qWaitFor([&] { return done; }, 5000);
    return result;
}

constexpr std::size_t limit = 65536;
const QByteArray big(70000, 'b');

} // namespace

class HttpBodyTest : public QObject {
    Q_OBJECT
private slots:
    void bodies_data();
    void bodies();
    void withoutALimitNothingChanges();
};

void HttpBodyTest::bodies_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<Then>("then");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");
    const QByteArray json = R"({"messages":[]})";
    auto row = [](const char* name, QByteArray answer, Then then, int status, QByteArray body, QString error) {
        QTest::newRow(name) << answer << then << status << body << error;
    };
    const QString over = "answer body over 65536 bytes";
    const QString cut = "the connection closed before the answer's body ended";
    const QString malformed = "the answer's chunked body is malformed";

    row("length, connection kept", "HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\n" + json, Then::Stay, 200, json, "");
    row("length, bytes after it", "HTTP/1.1 200 OK\r\ncontent-length:2\r\n\r\nOKjunk", Then::Close, 200, "OK", "");
    row("same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nOK", Then::Close, 200,
        "OK", "");
    row("chunked, extension, trailer",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;x=y\r\nhello\r\nA\r\n, world!!!\r\n0\r\nT: v\r\n\r\n",
        Then::Stay, 200, "hello, world!!!", "");
    row("chunked, bare LF", "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n2\nOK\n0\n\n", Then::Stay, 200, "OK", "");
    row("until the close", "HTTP/1.0 200 OK\r\n\r\n" + json, Then::Close, 200, json, "");
    row("500 with its body", "HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\nfail", Then::Close, 500, "fail", "");
    row("204 claims a body", "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", Then::Stay, 204, "", "");
    row("100 then 200", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK", Then::Stay,
        200, "OK", "");
    row("exactly the limit", "HTTP/1.1 200 OK\r\nContent-Length: 65536\r\n\r\n" + QByteArray(65536, 'a'), Then::Stay,
        200, QByteArray(65536, 'a'), "");
    row("length over the limit", "HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n" + big, Then::Stay, 0, "", over);
    row("huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", Then::Stay, 0, "",
        "the answer's Content-Length is unusable");
    row("chunks over the limit",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000\r\n" + QByteArray(0x8000, 'a') + "\r\n8001\r\n",
        Then::Stay, 0, "", over);
    row("endless until the close", "HTTP/1.1 200 OK\r\n\r\n", Then::Endless, 0, "", over);
    row("length cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", Then::Close, 0, "", cut);
    row("chunks cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\npart", Then::Close, 0, "", cut);
    row("no last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nOK\r\n", Then::Close, 0, "", cut);
    row("chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", Then::Stay, 0, "",
        malformed);
    row("chunk overruns its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nOKK\r\n0\r\n\r\n",
        Then::Stay, 0, "", malformed);
    row("endless size line",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray(2000, '0'), Then::Stay, 0, "",
        malformed);
    row("gzip", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nOK\r\n0\r\n\r\n", Then::Stay, 0, "",
        "the answer's transfer coding is unusable");
    row("two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nOKK", Then::Stay, 0, "",
        "the answer's Content-Length is unusable");
    row("negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", Then::Stay, 0, "",
        "the answer's Content-Length is unusable");
    row("body never ends", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", Then::Stay, 0, "",
        "the answer's body did not end within 500 ms");
}

void HttpBodyTest::bodies()
{
    QFETCH(QByteArray, answer);
    QFETCH(Then, then);
    AnsweringServer server(answer, then);
    qputenv("ZORVEL_HTTP_TIMEOUT_MS", "500");
    QtHttpClient client;
    qunsetenv("ZORVEL_HTTP_TIMEOUT_MS");
    const HttpResult result = fetch(client, server.base() + "/outbox?key=k", {limit});
    QTEST(result.status, "status");
    QTEST(QByteArray::fromStdString(result.body), "body");
    QTEST(QString::fromStdString(result.error), "error");

    // The reader alone, a byte at a time, comes to the same body as the client.
    if (then == Then::Endless)
        return;
    std::string_view rest(answer.constData(), std::size_t(answer.size()));
    ResponseHead head = ParseResponseHead(rest);
    while (head.outcome == ResponseHead::Outcome::Complete && head.status < 200) {
        rest.remove_prefix(head.length);
        head = ParseResponseHead(rest);
    }
    QCOMPARE(int(head.outcome), int(ResponseHead::Outcome::Complete));
    HttpBodyReader reader(rest.substr(0, head.length), head.status, limit);
    for (char byte : rest.substr(head.length))
        reader.take(std::string_view(&byte, 1));
    if (then == Then::Close)
        reader.closed();
    QCOMPARE(reader.state() == HttpBodyReader::State::Complete, result.status != 0);
    if (reader.state() != HttpBodyReader::State::Reading)
        QCOMPARE(QByteArray::fromStdString(reader.body()), QByteArray::fromStdString(result.body));
}

// The forwarding requests ask for no body: the same bytes go out, the status decides at
// once and nothing of the body comes back.
void HttpBodyTest::withoutALimitNothingChanges()
{
    AnsweringServer server("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nOK\r\n", Then::Stay);
    qputenv("ZORVEL_HTTP_TIMEOUT_MS", "500");
    QtHttpClient client;
    qunsetenv("ZORVEL_HTTP_TIMEOUT_MS");
    const std::string url = server.base() + "/in?key=a%26b";
    const HttpResult plain = fetch(client, url, {});
    QCOMPARE(plain.status, 200);
    QVERIFY(plain.body.empty());
    QCOMPARE(fetch(client, url, {limit}).error, std::string("the answer's body did not end within 500 ms"));
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(server.requests[0], server.requests[1]);
}

QTEST_GUILESS_MAIN(HttpBodyTest)
#include "test_http_body.moc"

// A request that asks for the answer's body, against a server in the test that answers
// with exact bytes: framed by length, chunks or the close, never over the limit, never
// cut short and taken for whole, and the request the same as one that wants no body.
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "HttpGet.h"
#include "QtHttpClient.h"

using namespace zorvel;

namespace {

// Answers the first request with `answer` once its head is in, then closes or stays.
class OneAnswerServer : public QObject {
public:
    QByteArray request;

    OneAnswerServer(QByteArray answer, bool close)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this, answer, close] {
            QTcpSocket* s = server_.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s, answer, close] {
                request += s->readAll();
                if (!request.endsWith("\r\n\r\n"))
                    return;
                s->write(answer);
                if (close)
                    s->disconnectFromHost();
            });
        });
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

private:
    QTcpServer server_;
};

} // namespace

class HttpBodyTest : public QObject {
    Q_OBJECT
private slots:
    void bodies_data();
    void bodies();
};

void HttpBodyTest::bodies_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("close");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error"); // empty: a 200 with that body
    const QString over = "answer body over 65536 bytes", cut = "the connection closed before the answer's body ended";
    const QByteArray head = "HTTP/1.1 200 OK\r\n", chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
    auto row = [](const char* name, QByteArray answer, bool close, QByteArray body, QString error) {
        QTest::newRow(name) << answer << close << body << error;
    };
    row("length, bytes after it", head + "content-length:2\r\n\r\nOKjunk", false, "OK", "");
    row("chunks, extension, trailer", chunked + "5;x=y\r\nhello\r\nA\r\n, world!!!\r\n0\r\nT: v\r\n\r\n", false,
        "hello, world!!!", "");
    row("until the close, after 100", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\n\n{}", true, "{}", "");
    row("exactly the limit", head + "Content-Length: 65536\r\n\r\n" + QByteArray(65536, 'a'), false,
        QByteArray(65536, 'a'), "");
    row("chunks over the limit", chunked + "8000\r\n" + QByteArray(0x8000, 'a') + "\r\n8001\r\n", false, "", over);
    row("until the close, over the limit", head + "\r\n" + QByteArray(70000, 'a'), true, "", over);
    row("length cut short", head + "Content-Length: 10\r\n\r\nshort", true, "", cut);
    row("chunk overruns its size", chunked + "2\r\nOKK\r\n0\r\n\r\n", false, "", "the answer's chunked body is malformed");
    row("two lengths", head + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nOKK", false, "",
        "the answer's Content-Length is unusable");
    row("body never ends", head + "Content-Length: 10\r\n\r\nshort", false, "",
        "the answer's body did not end within 500 ms");
}

void HttpBodyTest::bodies()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, close);
    QFETCH(QString, error);
    OneAnswerServer server(answer, close);
    qputenv("ZORVEL_HTTP_TIMEOUT_MS", "500");
    QtHttpClient client;
    qunsetenv("ZORVEL_HTTP_TIMEOUT_MS");
    HttpResult result;
    client.get(server.base() + "/out?key=k", {}, {65536}, [&](const HttpResult& r) { result = r; });
    QTRY_VERIFY(result.status != 0 || !result.error.empty());
    QCOMPARE(result.status, error.isEmpty() ? 200 : 0);
    QTEST(QByteArray::fromStdString(result.body), "body");
    QCOMPARE(QString::fromStdString(result.error), error);
    QCOMPARE(server.request, GetRequestBytes(QUrl(QString::fromStdString(server.base())), "/out?key=k"));
}

QTEST_GUILESS_MAIN(HttpBodyTest)
#include "test_http_body.moc"

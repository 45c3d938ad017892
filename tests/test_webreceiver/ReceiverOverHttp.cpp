// The real build/zorvel-webreceiver over HTTP: exact bytes in the log, the fault options
// and the control file at work, connection handling and the console line.
#include "WebReceiverTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>

void WebReceiverTest::startReceiver(const QStringList& extra, bool readErrors)
{
    QFile::remove(logPath());
    receiver_.setProgram(QStringLiteral(ZORVEL_BUILD_DIR "/zorvel-webreceiver"));
    receiver_.setArguments(QStringList{"--port", "0", "--log", logPath()} + extra);
    receiver_.setProcessChannelMode(readErrors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    receiver_.start();
    QVERIFY2(receiver_.waitForStarted(5000), qPrintable(receiver_.errorString()));
    QVERIFY(receiver_.waitForReadyRead(5000));
    const QByteArray first = receiver_.readLine().trimmed();
    QVERIFY2(first.startsWith("listening on 127.0.0.1:"), first.constData());
    port_ = first.mid(first.lastIndexOf(':') + 1).toUShort();
    QVERIFY(port_ != 0);
}

QNetworkReply* WebReceiverTest::get(const QByteArray& pathAndQuery, int timeoutMs)
{
    const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(port_) + QString::fromLatin1(pathAndQuery),
                   QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network_.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished()) finished.wait(10000);
    reply->deleteLater();
    return reply;
}

int WebReceiverTest::statusOf(QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QList<QJsonObject> WebReceiverTest::records() const
{
    QFile file(logPath());
    QList<QJsonObject> out;
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty()) out.append(QJsonDocument::fromJson(line).object());
    return out;
}

QByteArray WebReceiverTest::parameterBytes(const QJsonObject& record, const QString& name)
{
    for (const QJsonValue& p : record["params"].toArray())
        if (p["name"].toString() == name) return QByteArray::fromHex(p["hex"].toString().toLatin1());
    return "<absent>";
}

void WebReceiverTest::writeControl(const QByteArray& text)
{
    QFile file(controlPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray WebReceiverTest::exchangeRaw(quint16 port, const QByteArray& bytes, QAbstractSocket::SocketError* error)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return "<no connection>";
    socket.write(bytes);
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
        received += socket.readAll();
    received += socket.readAll();
    if (error) *error = socket.error();
    return received;
}

void WebReceiverTest::cleanup()
{
    network_.clearConnectionCache();
    if (receiver_.state() != QProcess::NotRunning) {
        receiver_.kill();
        receiver_.waitForFinished(5000);
    }
    QFile::remove(controlPath());
    QFile::remove(outboxPath());
    QFile::remove(statesPath());
}

void WebReceiverTest::awkwardValuesArriveExactly_data()
{
    QTest::addColumn<QByteArray>("value");
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b) everyByte += char(b);
    QTest::newRow("blank & = + # % ? / , :") << QByteArray(" & = + # % ? / , :");
    QTest::newRow("sender with plus") << QByteArray("+4915550001");
    QTest::newRow("time stamp") << QByteArray("26/12/07,10:00:00+04");
    QTest::newRow("Latin-1 e acute") << QByteArray("caf\xE9");
    QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC");
    QTest::newRow("two lines") << QByteArray("Hello & welcome\n#2");
    QTest::newRow("looks encoded") << QByteArray("%41%zz+");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("every byte") << everyByte;
}

void WebReceiverTest::awkwardValuesArriveExactly()
{
    QFETCH(QByteArray, value);
    startReceiver({});
    // Byte by byte: QUrl::toPercentEncoding takes a QString and would turn 0xE9 into U+FFFD.
    const QByteArray encoded = value.toPercentEncoding();  // all but A-Z a-z 0-9 - . _ ~
    QNetworkReply* reply = get("/sms?key=k%20%2B&sender=" + encoded + "&time=&message=" + encoded);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(reply->readAll(), QByteArray("OK"));
    const QList<QJsonObject> log = records();
    QCOMPARE(log.size(), 1);
    QCOMPARE(parameterBytes(log[0], "key"), QByteArray("k +"));
    QCOMPARE(parameterBytes(log[0], "sender"), value);
    QCOMPARE(parameterBytes(log[0], "time"), QByteArray());
    QCOMPARE(parameterBytes(log[0], "message"), value);
    QCOMPARE(log[0]["path"].toString(), QStringLiteral("/sms"));
    QCOMPARE(log[0]["status"].toInt(), 200);
}

void WebReceiverTest::statusScriptOverHttp()
{
    startReceiver({"--status-script", "500,500,200"});
    QList<int> statuses;
    for (int i = 0; i < 4; ++i) statuses.append(statusOf(get("/sms?m=" + QByteArray::number(i))));
    QCOMPARE(statuses, QList<int>({500, 500, 200, 200}));
    QList<int> logged;
    for (const QJsonObject& r : records()) logged.append(r["status"].toInt());
    QCOMPARE(logged, statuses);
}

void WebReceiverTest::resetClosesWithoutAnswer()
{
    startReceiver({"--reset-first", "1"});
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    QCOMPARE(exchangeRaw(port_, "GET /sms?m=1 HTTP/1.1\r\nHost: h\r\n\r\n", &error), QByteArray());
    QCOMPARE(error, QAbstractSocket::RemoteHostClosedError);
    QCOMPARE(statusOf(get("/sms?m=2")), 200);
    const QList<QJsonObject> log = records();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0]["outcome"].toString(), QStringLiteral("reset"));
    QVERIFY(!log[0].contains("status"));
    QCOMPARE(log[1]["outcome"].toString(), QStringLiteral("answered"));
}

void WebReceiverTest::controlFileSwitchesMidRun()
{
    startReceiver({"--control", controlPath()});
    QCOMPARE(statusOf(get("/sms?m=1")), 200);
    writeControl("status 500\n");
    QCOMPARE(statusOf(get("/sms?m=2")), 500);
    writeControl("status 200\n");
    QCOMPARE(statusOf(get("/sms?m=3")), 200);
    writeControl("reset on\n");
    QCOMPARE(exchangeRaw(port_, "GET /sms?m=4 HTTP/1.1\r\n\r\n"), QByteArray());
    QFile::remove(controlPath());
    QCOMPARE(statusOf(get("/sms?m=5")), 200);
    QCOMPARE(records().size(), 5);
}

void WebReceiverTest::redirectIsFollowedWithTheQuery()
{
    startReceiver({"--redirect-to", "/other"});
    QNetworkReply* reply = get("/sms?message=a%2Bb%26c");
    QCOMPARE(statusOf(reply), 200);
    QCOMPARE(reply->url().path(), QStringLiteral("/other"));
    // Qt 6.4 now and then sends the first GET twice on its connection before following,
    // so count by path: every /sms got the redirect, /other was reached once.
    QList<QJsonObject> atTarget;
    for (const QJsonObject& r : records()) {
        if (r["path"].toString() == "/other") {
            atTarget.append(r);
            continue;
        }
        QCOMPARE(r["status"].toInt(), 302);
        QCOMPARE(r["location"].toString(), QStringLiteral("/other?message=a%2Bb%26c"));
    }
    QCOMPARE(atTarget.size(), 1);
    QCOMPARE(parameterBytes(atTarget[0], "message"), QByteArray("a+b&c"));
}

void WebReceiverTest::lateAnswerTripsClientTimeout()
{
    startReceiver({"--delay-ms", "600"});
    QCOMPARE(get("/sms?m=1", 100)->error(), QNetworkReply::OperationCanceledError);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(statusOf(get("/sms?m=2")), 200);
    QVERIFY(timer.elapsed() >= 550);
    QCOMPARE(records().value(0)["delay_ms"].toInt(), 600);
}

void WebReceiverTest::connectionHandling()
{
    startReceiver({});
    // Pipelined requests are answered in order; Connection: close ends the connection.
    const QByteArray two = exchangeRaw(port_, "GET /a?m=1 HTTP/1.1\r\n\r\nGET /b?m=%zz HTTP/1.1\r\n"
                                              "Connection: close\r\n\r\nGET /never HTTP/1.1\r\n\r\n");
    QCOMPARE(two.count("HTTP/1.1 "), 2);
    QVERIFY(two.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(two.contains("\r\n\r\nOKHTTP/1.1 400 Bad Request\r\n"));
    QVERIFY(two.contains("Connection: close"));
    // A broken request gets 400 and the connection closes.
    QVERIFY(exchangeRaw(port_, "GET / HTTP/1.1\r\nNo colon\r\n\r\n").startsWith("HTTP/1.1 400 "));
    const QList<QJsonObject> log = records();
    QCOMPARE(log.size(), 3);
    QVERIFY(log[1]["error"].toString().contains("value"));
    QCOMPARE(log[2]["error"].toString(), QStringLiteral("bad header line"));
}

void WebReceiverTest::refusedMessageOverHttpWithReadableConsole()
{
    startReceiver({"--refuse-message-containing", QString::fromUtf8("Привет")});
    const QByteArray cyrillic = "/sms?key=k&message=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82!%20%D0%9A%D0%B0%D0%BA";
    QCOMPARE(statusOf(get(cyrillic)), 400);
    QCOMPARE(statusOf(get("/sms?key=k&message=Meeting%20at%2010%20%F0%9F%91%8D%F0%9F%8E%89")), 200);
    QCOMPARE(statusOf(get(cyrillic)), 400);
    QString console;
    QTRY_VERIFY((console += QString::fromUtf8(receiver_.readAll())).count('\n') == 3);
    // The console shows the decoded text as UTF-8, emoji included.
    QVERIFY2(console.contains(QString::fromUtf8("message=\"Привет! Как\" -> 400 (message refused)\n")),
             qPrintable(console));
    QVERIFY2(console.contains(QString::fromUtf8("message=\"Meeting at 10 👍🎉\" -> 200\n")), qPrintable(console));
    const QList<QJsonObject> log = records();
    QCOMPARE(log.size(), 3);
    QVERIFY(log[0]["refused"].toBool() && !log[1].contains("refused"));
    QCOMPARE(parameterBytes(log[1], "message"), QByteArray("Meeting at 10 \xF0\x9F\x91\x8D\xF0\x9F\x8E\x89"));
}

void WebReceiverTest::idempotencyKeyIsRecorded_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QString>("first");  // "<absent>": no field
    QTest::addColumn<int>("all");        // entries of idempotency_keys, 0: no field
    QTest::newRow("none") << QByteArray() << "<absent>" << 0;
    QTest::newRow("quoted id, as sent") << QByteArray("Idempotency-Key: \"4c1e-9a\"\r\n") << "\"4c1e-9a\"" << 0;
    QTest::newRow("any case of the name") << QByteArray("idempotency-KEY:  x \r\n") << "x" << 0;
    QTest::newRow("twice: both kept") << QByteArray("Idempotency-Key: \"a\"\r\nIdempotency-Key: \"b\"\r\n")
                                      << "\"a\"" << 2;
}

void WebReceiverTest::idempotencyKeyIsRecorded()
{
    QFETCH(QByteArray, headers);
    QFETCH(QString, first);
    QFETCH(int, all);
    startReceiver({});
    const QByteArray answer =
        exchangeRaw(port_, "GET /sms?m=1 HTTP/1.1\r\nHost: h\r\n" + headers + "Connection: close\r\n\r\n");
    QVERIFY(answer.startsWith("HTTP/1.1 200 "));
    const QJsonObject record = records().value(0);
    QCOMPARE(record.value("idempotency_key").toString("<absent>"), first);
    QCOMPARE(record.value("idempotency_keys").toArray().size(), all);
}

void WebReceiverTest::consoleShowsDecodedValues()
{
    startReceiver({});
    QCOMPARE(statusOf(get("/sms?key=demo&sender=%2B49&message=Hello%20%26%20welcome%0A%232&x=caf%E9")), 200);
    QTRY_VERIFY(receiver_.canReadLine());
    const QString line = QString::fromUtf8(receiver_.readLine());
    QVERIFY2(line.contains(QString::fromUtf8(
                 "GET /sms key=\"demo\" sender=\"+49\" message=\"Hello & welcome\\n#2\" x=latin-1:\"café\" -> 200")),
             qPrintable(line));
}

#include "moc_WebReceiverTest.cpp"

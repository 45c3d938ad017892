// The outbox: its file format called directly, then polls and state reports over HTTP
// against the real build/zorvel-webreceiver.
#include "WebReceiverTest.h"

#include "Outbox.h"
#include "OutboxFile.h"
#include "OutboxText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>

using namespace zorvel::web;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");  // U+1F600, a surrogate pair in UTF-16

} // namespace

int WebReceiverTest::report(const QByteArray& query, const QByteArray& idempotencyKey)
{
    const QByteArray key = idempotencyKey.isEmpty() ? QByteArray() : "Idempotency-Key: " + idempotencyKey + "\r\n";
    const QByteArray answer = exchangeRaw(
        port_, "GET /outbox?key=k&" + query + " HTTP/1.1\r\nHost: h\r\n" + key + "Connection: close\r\n\r\n");
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

QStringList WebReceiverTest::offeredIds()
{
    QNetworkReply* reply = get("/outbox?key=k");
    [&] {
        QCOMPARE(statusOf(reply), 200);
        QCOMPARE(reply->header(QNetworkRequest::ContentTypeHeader).toString(), QStringLiteral("application/json"));
    }();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &error);
    [&] { QCOMPARE(error.error, QJsonParseError::NoError); }();
    QStringList ids;
    for (const QJsonValue& m : document["messages"].toArray()) ids.append(m["id"].toString());
    return ids;
}

QStringList WebReceiverTest::consoleLines(int count)
{
    QStringList lines;
    // The caller compares the count, which says more than a bare timeout would.
    (void)QTest::qWaitFor([&] {
        while (receiver_.canReadLine()) lines.append(QString::fromUtf8(receiver_.readLine()).trimmed());
        return lines.size() >= count;
    }, 5000);
    return lines;
}

void WebReceiverTest::outboxFileLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("messages");  // "id|to|text"
    QTest::addColumn<int>("warnings");
    auto row = [](const char* name, QByteArray text, QStringList messages, int warnings = 0) {
        QTest::newRow(name) << text << messages << warnings;
    };
    row("plain", "a1\t+49 1\tHello", {"a1|+49 1|Hello"});
    row("escapes", "a\t1\tx\\ny\\tz\\\\n", {"a|1|x\ny\tz\\n"});
    row("escaped surrogate pair", "a\t1\t\\uD83D\\ude00\\u00e9", {"a|1|" + emoji + QString::fromUtf8("é")});
    row("plain UTF-8 emoji", "a\t1\t\xF0\x9F\x98\x80 \xD0\x9F", {"a|1|" + emoji + QString::fromUtf8(" П")});
    row("comments, blanks and CRLF", "# a\t1\tx\r\n\r\n  # b\r\nc\t1\tx #1\r\n", {"c|1|x #1"});
    row("empty text", "a\t1\t", {"a|1|"});
    row("id of 64", QByteArray(64, 'z') + "\t1\tx", {QString(64, 'z') + "|1|x"});
    row("id of 65", QByteArray(65, 'z') + "\t1\tx", {}, 1);
    row("blank in id", "a b\t1\tx\nc\t1\ty", {"c|1|y"}, 1);
    row("raw tab in text", "a\t1\tx\ty", {}, 1);
    row("no recipient", "a\t\tx", {}, 1);
    row("same id twice: first kept", "a\t1\tx\na\t2\ty", {"a|1|x"}, 1);
    row("unknown escape", "a\t1\t\\x41", {}, 1);
    row("backslash at the end", "a\t1\tx\\", {}, 1);
    row("three hex digits", "a\t1\t\\u41g", {}, 1);
    row("lone high surrogate", "a\t1\t\\uD83Dx", {}, 1);
    row("lone low surrogate", "a\t1\t\\uDE00", {}, 1);
    row("Latin-1 text", "a\t1\tcaf\xE9", {}, 1);
}
void WebReceiverTest::outboxFileLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, messages);
    QFETCH(int, warnings);
    const ParsedOutbox parsed = parseOutbox(text);
    QStringList got;
    for (const OutboxMessage& m : parsed.messages) got.append(m.id + '|' + m.to + '|' + m.text);
    QCOMPARE(got, messages);
    QCOMPARE(parsed.warnings.size(), warnings);
}

void WebReceiverTest::statesFileEscapesRoundTrip()
{
    // Whatever a report's detail holds, its states line stays one line of four fields and
    // reads back as sent.
    const QString tricky = QStringLiteral("a\tb\nc\\nd\\u0041\r\x01\x7F") + QChar(0x2028) + emoji;
    const QByteArray escaped = escapeField(tricky);
    QVERIFY(!escaped.contains('\t') && !escaped.contains('\n') && !escaped.contains('\r'));
    QCOMPARE(unescapeField(escaped).text, tricky);
}

void WebReceiverTest::pollOffersFileUntilReported()
{
    writeFile(outboxPath(), "a1\t+4915550001\tMeeting at 10 \\uD83D\\uDC4D\n"
                            "a2\t+4915550002\t\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\\n\"ok\"\n");
    startReceiver({"--outbox-path", "/outbox", "--outbox", outboxPath(), "--outbox-states", statesPath()});
    QNetworkReply* reply = get("/outbox?key=k");
    const QJsonArray messages = QJsonDocument::fromJson(reply->readAll())["messages"].toArray();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0]["to"].toString(), QStringLiteral("+4915550001"));
    QCOMPARE(messages[0]["text"].toString(), QString::fromUtf8("Meeting at 10 \xF0\x9F\x91\x8D"));
    QCOMPARE(messages[1]["text"].toString(), QString::fromUtf8("Привет\n\"ok\""));

    QCOMPARE(report("id=a1&state=sent&time=26%2F12%2F08%2C10%3A00%3A04%2B04&detail=", "\"a1:sent\""), 200);
    QCOMPARE(offeredIds(), QStringList({"a2"}));
    // Re-read on every poll: a message added while the receiver runs is offered next time.
    writeFile(outboxPath(), readFile(outboxPath()) + "a3\t+49\tlater\n");
    QCOMPARE(offeredIds(), QStringList({"a2", "a3"}));
    // A later state of an acknowledged message does not bring it back.
    QCOMPARE(report("id=a1&state=delivered", "\"a1:delivered\""), 200);
    QCOMPARE(offeredIds(), QStringList({"a2", "a3"}));

    QStringList kinds;
    for (const QJsonObject& r : records()) kinds.append(r["outbox"].toString());
    QCOMPARE(kinds, QStringList({"poll", "report", "poll", "poll", "report", "poll"}));
    QCOMPARE(readFile(statesPath()), QByteArray("a1\tsent\t26/12/08,10:00:04+04\t\na1\tdelivered\t\t\n"));
}

void WebReceiverTest::reportsOnConsoleAndStatesFile()
{
    QStringList many;
    for (int i = 0; i < 120; ++i) many.append(QStringLiteral("m%1\t+49\tx").arg(i));
    writeFile(outboxPath(), many.join('\n').toUtf8());
    startReceiver({"--outbox-path", "/outbox", "--outbox", outboxPath(), "--outbox-states", statesPath()});
    QCOMPARE(offeredIds().size(), 100);
    const QByteArray failed =
        "id=m0&state=failed&time=26%2F12%2F08%2C10%3A00%3A04%2B04&detail=CMS%20ERROR%09500%0Ax";
    QCOMPARE(report(failed, "\"m0:failed\""), 200);
    QCOMPARE(report(failed, "\"m0:failed\""), 200);
    // The hundred offered move on once one is acknowledged.
    QCOMPARE(offeredIds().value(99), QStringLiteral("m100"));

    const QStringList lines = consoleLines(4);
    QCOMPARE(lines.size(), 4);
    const QString expected =
        QStringLiteral("state id=\"m0\" state=\"failed\" time=\"26/12/08,10:00:04+04\" "
                       "detail=\"CMS ERROR\\t500\\nx\" Idempotency-Key=\"\\\"m0:failed\\\"\" -> 200");
    QVERIFY2(lines[1].endsWith(expected) && lines[1].size() == 20 + expected.size(), qPrintable(lines[1]));
    QCOMPARE(lines[2], lines[2].left(20) + expected + " (repeat)");
    QVERIFY2(lines[0].endsWith("GET /outbox key=\"k\" -> 200 (offered 100)"), qPrintable(lines[0]));
    QCOMPARE(records().value(2)["repeat"].toBool(), true);
    // One line per first report, its detail escaped onto one line.
    QCOMPARE(readFile(statesPath()), QByteArray("m0\tfailed\t26/12/08,10:00:04+04\tCMS ERROR\\t500\\nx\n"));
}

void WebReceiverTest::malformedReports_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray http = " HTTP/1.1\r\nConnection: close\r\n\r\n";
    QTest::newRow("unknown state") << "GET /outbox?id=a1&state=lost" + http << 400;
    QTest::newRow("empty id") << "GET /outbox?id=&state=sent" + http << 400;
    QTest::newRow("id with a slash") << "GET /outbox?id=a%2F1&state=sent" + http << 400;
    QTest::newRow("id twice") << "GET /outbox?id=a1&id=a2&state=sent" + http << 400;
    QTest::newRow("POST") << "POST /outbox?id=a1&state=sent" + http << 405;
    QTest::newRow("bad encoding") << "GET /outbox?id=a1&state=sent%" + http << 400;
    QTest::newRow("other path") << "GET /sms?id=a1&state=sent" + http << 200;
}
void WebReceiverTest::malformedReports()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    writeFile(outboxPath(), "a1\t+49\tx\n");
    startReceiver({"--outbox-path", "/outbox", "--outbox", outboxPath(), "--outbox-states", statesPath()});
    QVERIFY(exchangeRaw(port_, request).startsWith("HTTP/1.1 " + QByteArray::number(status)));
    // Nothing was acknowledged: the message is still offered, no state recorded.
    QCOMPARE(offeredIds(), QStringList({"a1"}));
    QCOMPARE(readFile(statesPath()), QByteArray());
}

void WebReceiverTest::rawPollAnswerVerbatim_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("not JSON") << QByteArray("<html>\0\xFF", 8) << 200;
    QTest::newRow("huge") << QByteArray(3 << 20, '[') << 200;
    QTest::newRow("empty") << QByteArray() << 200;
    QTest::newRow("error with a list") << QByteArray(R"({"messages":[]})") << 503;
    QTest::newRow("odd status") << QByteArray("{}") << 299;
}
void WebReceiverTest::rawPollAnswerVerbatim()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const QString raw = dir_.filePath("raw");
    writeFile(raw, body);
    startReceiver({"--outbox-path", "/outbox", "--outbox-raw", raw, "--outbox-status", QString::number(status)});
    for (int poll = 0; poll < 2; ++poll) {
        const QByteArray answer = exchangeRaw(port_, "GET /outbox?key=k HTTP/1.1\r\nConnection: close\r\n\r\n");
        QVERIFY(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '));
        QVERIFY(answer.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
        QCOMPARE(answer.mid(answer.indexOf("\r\n\r\n") + 4), body);
    }
    QCOMPARE(records().value(0)["status"].toInt(), status);
}

void WebReceiverTest::malformedOutboxLineWarnsOnce()
{
    writeFile(outboxPath(), "a1\t+49\tgood\nb 2\t+49\tbad id\na3\t+49\t\\q\n");
    startReceiver({"--outbox-path", "/outbox", "--outbox", outboxPath()}, true);
    QCOMPARE(offeredIds(), QStringList({"a1"}));
    QCOMPARE(offeredIds(), QStringList({"a1"}));
    // Written before the answers went out, so already in the pipe: give it a moment to be read.
    QString stderrText;
    QTRY_VERIFY((stderrText += QString::fromUtf8(receiver_.readAllStandardError())).count('\n') >= 2);
    QTest::qWait(100);
    stderrText += QString::fromUtf8(receiver_.readAllStandardError());
    const QStringList errors = stderrText.split('\n', Qt::SkipEmptyParts);
    // Both bad lines named, and only once although the file was read twice.
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors[0].startsWith("outbox line 2: ") && errors[1].startsWith("outbox line 3: "),
             qPrintable(errors.join('|')));
}

void WebReceiverTest::controlStatusAppliesToOutbox()
{
    writeFile(outboxPath(), "a1\t+49\tx\n");
    startReceiver({"--outbox-path", "/outbox", "--outbox", outboxPath(), "--outbox-states", statesPath(),
                   "--control", controlPath()});
    writeControl("status 503\n");
    QNetworkReply* poll = get("/outbox?key=k");
    QCOMPARE(statusOf(poll), 503);
    QCOMPARE(poll->readAll(), QByteArray("Service Unavailable"));
    QCOMPARE(report("id=a1&state=sent", "\"a1:sent\""), 503);
    writeControl("status auto\n");
    // The refused report acknowledged nothing: offered again, and the same report is new.
    QCOMPARE(offeredIds(), QStringList({"a1"}));
    QCOMPARE(report("id=a1&state=sent", "\"a1:sent\""), 200);
    QCOMPARE(offeredIds(), QStringList());
    QCOMPARE(readFile(statesPath()), QByteArray("a1\tsent\t\t\n"));
    QVERIFY(!records().value(3)["repeat"].toBool());
}

// The local web receiver's parts called directly: its strict query decoding, request
// parsing, display of bytes and fault rules. The program over HTTP is tested in
// test_webreceiver/ReceiverOverHttp.cpp.
#include "test_webreceiver/WebReceiverTest.h"

#include "AnswerPolicy.h"
#include "ByteText.h"
#include "ControlFile.h"
#include "HttpRequestParser.h"
#include "QueryDecoding.h"

using namespace zorvel::web;

namespace {

// "name=value" pieces, so table rows stay on one line.
QByteArrayList flatten(const QList<QueryParameter>& parameters)
{
    QByteArrayList out;
    for (const QueryParameter& p : parameters) out.append(p.name + '=' + p.value);
    return out;
}

struct Parsed {
    QByteArrayList targets;
    QList<bool> keepAlive;
    int failStatus = 0;
};

Parsed parseInPieces(const QByteArray& stream, qsizetype pieceSize)
{
    Parsed out;
    HttpRequestParser parser;
    for (qsizetype at = 0; at < stream.size() && out.failStatus == 0; at += pieceSize) {
        parser.append(QByteArrayView(stream).sliced(at, std::min(pieceSize, stream.size() - at)));
        HttpRequest request;
        for (auto result = parser.next(request); result != HttpRequestParser::Result::NeedMore;
             result = parser.next(request)) {
            if (result == HttpRequestParser::Result::Failed) {
                out.failStatus = parser.errorStatus();
                break;
            }
            out.targets.append(request.method + ' ' + request.target);
            out.keepAlive.append(request.keepAlive);
        }
    }
    return out;
}

QStringList decideAll(AnswerPolicy& policy, const QByteArrayList& paths, const ControlOverrides& control = {})
{
    QStringList out;
    for (const QByteArray& path : paths) {
        const Answer a = policy.decide(path, "m=1", true, control);
        out.append(a.kind == Answer::Kind::Reset ? QStringLiteral("reset")
                                                 : QString::number(a.status) + QString::fromLatin1(a.location));
    }
    return out;
}

} // namespace

// Decoding, parsing and display, called directly
void WebReceiverTest::percentDecoding_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArrayList>("parameters");
    QTest::addColumn<bool>("ok");
    auto row = [](const char* name, QByteArray query, QByteArrayList parameters, bool ok = true) {
        QTest::newRow(name) << query << parameters << ok;
    };
    row("plus stays a plus", "s=+49+1", {"s=+49+1"});
    row("encoded plus and blank", "s=%2B49%201", {"s=+49 1"});
    row("both hex cases", "m=%e9%E9", {"m=\xE9\xE9"});
    row("encoded separators stay in the value", "m=a%26b%3Dc%23d", {"m=a&b=c#d"});
    row("encoded percent not decoded twice", "m=%2541", {"m=%41"});
    row("first = splits, later ones kept", "m=a=b", {"m=a=b"});
    row("empty value and no value", "k=&s", {"k=", "s="});
    row("empty pieces skipped, order and duplicates kept", "&b=2&&a=1&b=3&", {"b=2", "a=1", "b=3"});
    row("nul byte", "m=a%00b", {QByteArray("m=a\0b", 5)});
    row("lone percent", "m=100%", {}, false);
    row("one hex digit at the end", "m=%4", {}, false);
    row("non-hex digit", "m=%G1", {}, false);
    row("percent before a valid pair", "m=%%41", {}, false);
    row("bad name", "%zz=1", {}, false);
}

void WebReceiverTest::percentDecoding()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArrayList, parameters);
    QFETCH(bool, ok);
    const DecodedQuery decoded = decodeQuery(query);
    QCOMPARE(decoded.ok(), ok);
    if (ok) QCOMPARE(flatten(decoded.parameters), parameters);
}

void WebReceiverTest::splitsTarget()
{
    const SplitTarget split = splitTarget("/a/b?x=1?y&z");
    QCOMPARE(split.path, QByteArray("/a/b"));
    QCOMPARE(split.query, QByteArray("x=1?y&z"));
    QVERIFY(split.hasQuery);
    QVERIFY(!splitTarget("/a").hasQuery);
    QVERIFY(splitTarget("/a?").hasQuery);
}

void WebReceiverTest::requestParsing_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArrayList>("targets");
    QTest::addColumn<QList<bool>>("keepAlive");
    QTest::addColumn<int>("failStatus");
    auto row = [](const char* name, QByteArray stream, QByteArrayList targets, QList<bool> keep, int fail = 0) {
        QTest::newRow(name) << stream << targets << keep << fail;
    };
    const QByteArray get = "GET /sms?m=a HTTP/1.1\r\nHost: h\r\n\r\n";
    row("plain GET", get, {"GET /sms?m=a"}, {true});
    row("pipelined in one stream", get + "HEAD /b HTTP/1.1\r\nConnection: close\r\n\r\n",
        {"GET /sms?m=a", "HEAD /b"}, {true, false});
    row("body skipped by length", "POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nab\r\nc" + get,
        {"POST /p", "GET /sms?m=a"}, {true, true});
    row("1.0 closes by default", "GET / HTTP/1.0\r\n\r\n", {"GET /"}, {false});
    row("1.0 keep-alive asked", "GET / HTTP/1.0\r\nconnection: Keep-Alive\r\n\r\n", {"GET /"}, {true});
    row("close among tokens", "GET / HTTP/1.1\r\nConnection: keep-alive, CLOSE\r\n\r\n", {"GET /"}, {false});
    row("bare LF and leading empty lines", "\r\n\nGET /x HTTP/1.1\nHost: h\n\n", {"GET /x"}, {true});
    row("absolute form reduced", "GET http://h:8/p?q=1 HTTP/1.1\r\n\r\n", {"GET /p?q=1"}, {true});
    row("two blanks in request line", "GET  / HTTP/1.1\r\n\r\n", {}, {}, 400);
    row("no version", "GET /\r\n\r\n", {}, {}, 400);
    row("HTTP/2 refused", "GET / HTTP/2.0\r\n\r\n", {}, {}, 505);
    row("target without slash", "GET sms HTTP/1.1\r\n\r\n", {}, {}, 400);
    row("header without colon", "GET / HTTP/1.1\r\nHost h\r\n\r\n", {}, {}, 400);
    row("blank before colon", "GET / HTTP/1.1\r\nHost : h\r\n\r\n", {}, {}, 400);
    row("folded header", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", {}, {}, 400);
    row("conflicting lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", {}, {}, 400);
    row("chunked not served", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", {}, {}, 501);
    row("head too large", "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n", {}, {}, 431);
    row("good request before a bad one", get + "BAD\r\n\r\n", {"GET /sms?m=a"}, {true}, 400);
}

void WebReceiverTest::requestParsing()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArrayList, targets);
    QFETCH(QList<bool>, keepAlive);
    QFETCH(int, failStatus);
    // The same outcome whether the bytes come at once or one by one.
    for (const qsizetype piece : {stream.size(), qsizetype(1)}) {
        const Parsed parsed = parseInPieces(stream, piece);
        QCOMPARE(parsed.targets, targets);
        QCOMPARE(parsed.keepAlive, keepAlive);
        QCOMPARE(parsed.failStatus, failStatus);
    }
}

void WebReceiverTest::display_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    auto row = [](const char* name, QByteArray bytes, const char* shown) {
        QTest::newRow(name) << bytes << QString::fromUtf8(shown);
    };
    row("empty", "", "m=\"\"");
    row("quote and backslash", "a\"b\\c", "m=\"a\\\"b\\\\c\"");
    row("line breaks and controls", "a\r\nb\tc\x01\x7F", "m=\"a\\r\\nb\\tc\\x01\\x7F\"");
    row("UTF-8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "m=\"café € 😀\"");
    row("C1 control in UTF-8", "\xC2\x85", "m=\"\\x85\"");
    row("Latin-1", "caf\xE9", "m=latin-1:\"café\"");
    row("Latin-1 C1 byte", "\x85", "m=latin-1:\"\\x85\"");
    row("overlong is not UTF-8", "\xC0\xAF", "m=latin-1:\"À¯\"");
    row("three-byte overlong", "\xE0\x80\xAF", "m=latin-1:\"à\\x80¯\"");
    row("surrogate is not UTF-8", "\xED\xA0\x80", "m=latin-1:\"í\u00A0\\x80\"");
    row("above U+10FFFF", "\xF4\x90\x80\x80", "m=latin-1:\"ô\\x90\\x80\\x80\"");
    row("cut short at the end", "a\xE2\x82", "m=latin-1:\"aâ\\x82\"");
    row("line separator", "\xE2\x80\xA8", "m=\"\\u{2028}\"");
}

void WebReceiverTest::display()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(displayParameter("m", bytes), shown);
}

// Fault rules
void WebReceiverTest::statusScriptParsing()
{
    QCOMPARE(parseStatusScript(" 500, 200 "), std::optional(QList<int>{500, 200}));
    QCOMPARE(parseStatusScript(""), std::nullopt);
    QCOMPARE(parseStatusScript("500,,200"), std::nullopt);
    QCOMPARE(parseStatusScript("600"), std::nullopt);
}

void WebReceiverTest::resetsThenScriptWhoseLastRepeats()
{
    FaultOptions options;
    options.resetFirst = 2;
    options.statusScript = {500, 503, 200};
    AnswerPolicy policy(options);
    QCOMPARE(decideAll(policy, {"/a", "/a", "/a", "/a", "/a", "/a"}),
             QStringList({"reset", "reset", "500", "503", "200", "200"}));
}

void WebReceiverTest::redirectLeavesScriptAlone()
{
    FaultOptions options;
    options.redirectTo = "/other";
    options.statusScript = {500, 200};
    AnswerPolicy policy(options);
    QCOMPARE(decideAll(policy, {"/sms", "/other", "/sms", "/other"}),
             QStringList({"302/other?m=1", "500", "302/other?m=1", "200"}));
    QCOMPARE(policy.decide("/x", "", false, {}).location, QByteArray("/other"));

    options.redirectTo = "http://127.0.0.1:9/elsewhere";
    AnswerPolicy absolute(options);
    QCOMPARE(decideAll(absolute, {"/sms", "/elsewhere"}),
             QStringList({"302http://127.0.0.1:9/elsewhere?m=1", "500"}));
}

void WebReceiverTest::controlOverridesOptions()
{
    FaultOptions options;
    options.statusScript = {500, 200};
    options.delayMs = 40;
    AnswerPolicy policy(options);
    ControlOverrides control;
    control.status = 503;
    control.delayMs = 7;
    QCOMPARE(decideAll(policy, {"/a", "/a"}, control), QStringList({"503", "503"}));
    QCOMPARE(policy.decide("/a", "", false, control).delayMs, 7);
    control = {};
    control.reset = true;
    QCOMPARE(decideAll(policy, {"/a"}, control), QStringList({"reset"}));
    // The script was not used up while the control file ruled.
    QCOMPARE(decideAll(policy, {"/a", "/a"}), QStringList({"500", "200"}));
    QCOMPARE(policy.decide("/a", "", false, {}).delayMs, 40);
}

void WebReceiverTest::refusalByContentKeepsTheScript()
{
    FaultOptions options;
    options.statusScript = {500, 200};
    options.refuseMessagesContaining = {QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8")};  // "При"
    AnswerPolicy policy(options);
    const QByteArray refused = "key=k&message=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82";
    QStringList seen;
    for (const QByteArray& query : {refused, QByteArray("message=ok"), refused, QByteArray("message=ok"),
                                    QByteArray("sender=%D0%9F%D1%80%D0%B8")})
        seen << QString::number(policy.decide("/sms", query, true, {}).status);
    // Every time, without using up a script entry; only the message parameter counts.
    QCOMPARE(seen, QStringList({"400", "500", "400", "200", "200"}));
    QVERIFY(policy.decide("/sms", refused, true, {}).refused);
    ControlOverrides control;
    control.status = 503;  // a server that is down refuses nothing by content
    QCOMPARE(policy.decide("/sms", refused, true, control).status, 503);
}

void WebReceiverTest::failRateIsSeededAndProportional()
{
    const auto failures = [](double rate, quint32 seed) {
        FaultOptions options;
        options.failRate = rate;
        options.seed = seed;
        AnswerPolicy policy(options);
        QString pattern;
        for (int i = 0; i < 1000; ++i) pattern += policy.decide("/", "", false, {}).status == 500 ? 'x' : '.';
        return pattern;
    };
    QCOMPARE(failures(0.3, 7), failures(0.3, 7));
    QVERIFY(failures(0.3, 7) != failures(0.3, 8));
    QCOMPARE(failures(0, 7).count('x'), 0);
    QCOMPARE(failures(1, 7).count('x'), 1000);
    const auto share = failures(0.3, 7).count('x');
    QVERIFY2(share > 240 && share < 360, qPrintable(QString::number(share)));
}

void WebReceiverTest::controlFileLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("status");  // 0: no override
    QTest::addColumn<int>("delay");   // -1: no override
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("warnings");
    QTest::newRow("empty") << QByteArray() << 0 << -1 << false << 0;
    QTest::newRow("all three") << QByteArray("status 500\ndelay 250\nreset on\n") << 500 << 250 << true << 0;
    QTest::newRow("later lines win") << QByteArray("status 500\r\nstatus 200\nreset on\nreset off") << 200 << -1
                                     << false << 0;
    QTest::newRow("auto clears") << QByteArray("status 500\ndelay 9\nstatus auto\ndelay auto") << 0 << -1 << false
                                 << 0;
    QTest::newRow("comments and blanks") << QByteArray("# status 500\n\n   status   404  \n") << 404 << -1 << false
                                         << 0;
    QTest::newRow("bad lines ignored")
        << QByteArray("status 99\nstatus\ndelay -1\nreset maybe\nfly away\nstatus 500 now\nstatus 201") << 201
        << -1 << false << 6;
}

void WebReceiverTest::controlFileLines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, status);
    QFETCH(int, delay);
    QFETCH(bool, reset);
    QFETCH(int, warnings);
    const ParsedControl parsed = parseControl(text);
    QCOMPARE(parsed.overrides.status.value_or(0), status);
    QCOMPARE(parsed.overrides.delayMs.value_or(-1), delay);
    QCOMPARE(parsed.overrides.reset, reset);
    QCOMPARE(parsed.warnings.size(), warnings);
}

QTEST_GUILESS_MAIN(WebReceiverTest)

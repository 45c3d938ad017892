// What the web application's outbox answer offers: hostile answers of every kind, each
// bad entry left out with a reason that names it but never shows a number or a text.
#include <QtTest>

#include "OutboxAnswer.h"

using namespace zorvel;

namespace {

// Every number in the table holds these digits and every text this word: no reason may.
const QByteArray digits = "7700900";
const QByteArray word = "SECRET";

QByteArray entry(const QByteArray& id, const QByteArray& to, const QByteArray& text)
{
    return "{\"id\":" + id + ",\"to\":" + to + ",\"text\":" + text + "}";
}

QByteArray answer(const QByteArrayList& entries)
{
    return "{\"messages\":[" + entries.join(',') + "]}";
}

QByteArray ok(const QByteArray& id)
{
    return entry('"' + id + '"', "\"+447700900123\"", "\"SECRET hello\"");
}

} // namespace

class OutboxAnswerTest : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
};

void OutboxAnswerTest::answers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("maxParts");
    QTest::addColumn<QString>("offered");  // ids, comma separated
    QTest::addColumn<int>("problems");
    QTest::addColumn<QString>("firstProblem");
    auto row = [](const char* name, QByteArray body, int maxParts, QString offered, int problems, QString first) {
        QTest::newRow(name) << body << maxParts << offered << problems << first;
    };
    const QByteArray number = "\"+447700900123\"";

    row("Cyrillic and emoji",
        answer({entry("\"a-1.B_2\"", "\"+44 7700-900 (123)\"", "\"Привет, мир 👋 SECRET\"")}), 10, "a-1.B_2", 0, "");
    row("extra fields and nested junk", answer({"{\"id\":\"n\",\"x\":{\"a\":[1,{\"b\":null}]},\"to\":" + number
                                                + ",\"text\":\"SECRET\",\"id2\":[[[]]]}"}),
        10, "n", 0, "");
    row("not JSON", "<html>SECRET 7700900</html>", 10, "", 1, "the answer is not JSON (illegal value)");
    row("NUL inside a string", answer({entry("\"z\"", number, QByteArray("\"SECRET\0b\"", 10))}), 10, "", 1,
        "entry 1 (id \"z\"): the text holds a control character");
    row("an array", "[" + ok("a") + "]", 10, "", 1, "the answer is not a JSON object");
    row("no messages", "{\"msgs\":[" + ok("a") + "]}", 10, "", 1, "the answer's \"messages\" is missing, not an array");
    row("deep nesting", "{\"messages\":" + QByteArray(5000, '[') + QByteArray(5000, ']') + "}", 10, "", 1,
        "the answer is not JSON (too deeply nested document)");
    row("wrong types",
        answer({"5", "\"SECRET\"", entry("7", number, "\"SECRET\""), entry("\"b\"", "447700900123", "\"SECRET\""),
                entry("\"c\"", number, "[\"SECRET\"]"), entry("\"d\"", number, "null"), ok("e")}),
        10, "e", 6, "entry 1: is a number, not an object");
    row("no text, empty text", answer({"{\"id\":\"a\",\"to\":" + number + "}", entry("\"b\"", number, "\"\""), ok("c")}),
        10, "c", 2, "entry 1 (id \"a\"): \"text\" is missing, not a string");
    row("duplicate ids", answer({ok("a"), entry("\"a\"", number, "\"other SECRET\""), ok("b"), ok("a")}), 10, "a,b", 2,
        "entry 2 (id \"a\"): the same id came earlier in the answer");
    row("bad ids",
        answer({ok(""), ok(QByteArray(65, 'i')), ok("a b"), ok("\xC3\xBC"), ok("a/b"), ok("x\\u0000y"),
                ok(QByteArray(64, 'i'))}),
        10, QString(64, 'i'), 6, "entry 1: id \"\" is not 1 to 64 of A-Z a-z 0-9 - _ .");
    row("bad numbers",
        answer({entry("\"a\"", "\"\"", "\"SECRET\""), entry("\"c\"", "\"7700900x1\"", "\"SECRET\""),
                entry("\"d\"", "\"+44+7700900\"", "\"SECRET\""), entry("\"e\"", "\"1234567700900123456789\"", "\"SECRET\""),
                entry("\"f\"", "\"07700 900123\"", "\"SECRET\"")}),
        10, "f", 4, "entry 1 (id \"a\"): the recipient is refused (no recipient given)");
    row("too many parts",
        answer({entry("\"long\"", number, '"' + QByteArray(161, 'S') + '"'),
                entry("\"fits\"", number, '"' + QByteArray(160, 'S') + '"')}),
        1, "fits", 1, "entry 1 (id \"long\"): the text needs 2 parts, at most 1 is allowed");
    row("huge text", answer({entry("\"h\"", number, '"' + word.repeated(10000) + '"')}), 10, "", 1,
        "entry 1 (id \"h\"): the text needs 393 parts, at most 10 are allowed");
    QByteArrayList many;
    QStringList first100;
    for (int i = 1; i <= 101; ++i) {
        many.append(ok("m" + QByteArray::number(i)));
        if (i <= 100)
            first100.append("m" + QString::number(i));
    }
    row("101 entries", answer(many), 10, first100.join(','), 1, "1 entry after the first 100 ignored until a later poll");
}

void OutboxAnswerTest::answers()
{
    QFETCH(QByteArray, body);
    QFETCH(int, maxParts);
    const OutboxOffer offer = ReadOutboxAnswer(std::string_view(body.constData(), std::size_t(body.size())), maxParts);

    QStringList ids;
    for (const OfferedMessage& m : offer.messages) {
        ids.append(QString::fromStdString(m.id));
        // The recipient as the sender dials it.
        QVERIFY(m.recipient == "+447700900123" || m.recipient == "07700900123");
    }
    QTEST(ids.join(','), "offered");
    QTEST(int(offer.problems.size()), "problems");
    if (!offer.problems.empty())
        QTEST(QString::fromStdString(offer.problems.front()), "firstProblem");
    for (const std::string& problem : offer.problems) {
        const QByteArray shown = QByteArray::fromStdString(problem);
        QVERIFY2(!shown.contains(digits) && !shown.contains(word), shown);
        QVERIFY2(!shown.contains('\0') && !shown.contains('\n'), shown);
    }
}

QTEST_GUILESS_MAIN(OutboxAnswerTest)
#include "test_outbox_answer.moc"

// The four fixed-position rules, at the edges where their positions bite.
#include <QtTest>

#include "AnswerParsing.h"

using namespace zorvel;

namespace {
QByteArray bytes(const std::string& s) { return QByteArray::fromStdString(s); }
} // namespace

class AnswerParsingTest : public QObject {
    Q_OBJECT
private slots:
    void getAnswerLine_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("echo, then CR CR LF") << QByteArray("AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n") << 1 << QByteArray("+CSQ: 18,99");
        QTest::newRow("no echo: line 0 is the CR") << QByteArray("\r\n+CSQ: 18,99\r\n\r\nOK\r\n") << 1 << QByteArray("+CSQ: 18,99");
        QTest::newRow("line 0 is the echo") << QByteArray("AT+CSQ\r\r\n+CSQ: 18,99\r\n") << 0 << QByteArray("AT+CSQ");
        QTest::newRow("no LF at all") << QByteArray("+CSQ: 18,99") << 1 << QByteArray();
        QTest::newRow("line 1 is CR only") << QByteArray("AT\r\n\r\nOK\r\n") << 1 << QByteArray();
        QTest::newRow("fewer lines than asked") << QByteArray("a\nb\n") << 5 << QByteArray();
        QTest::newRow("CR does not end a line") << QByteArray("x\na\rb\nc") << 1 << QByteArray("ab");
        QTest::newRow("codes 0 to 30 go, 31 and up stay")
            << QByteArray("x\n\x01" "a\tb\x1E" "c\x1F" "d \x7F\xE9\r\n") << 1
            << QByteArray("abc\x1F" "d \x7F\xE9");
        QTest::newRow("NUL inside a line is dropped") << QByteArray("x\na\0b\n", 6) << 1 << QByteArray("ab");
    }
    void getAnswerLine()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, n);
        QFETCH(QByteArray, line);
        QCOMPARE(bytes(GetAnswerLine(answer.toStdString(), n)), line);
    }

    void cutAnswerPrefix_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("cut");
        QTest::newRow("signal line") << QByteArray("+CSQ: 18,99") << QByteArray("18,9");
        QTest::newRow("signal line without blank loses a digit") << QByteArray("+CSQ:18,99") << QByteArray("8,9");
        QTest::newRow("ERROR, five bytes, unchanged") << QByteArray("ERROR") << QByteArray("ERROR");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("six bytes give empty text") << QByteArray("+CSQ: ") << QByteArray();
        QTest::newRow("seven bytes give empty text") << QByteArray("+COPS: ") << QByteArray();
        QTest::newRow("eight bytes give one byte") << QByteArray("+COPS: 0") << QByteArray(" ");
    }
    void cutAnswerPrefix()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, cut);
        QCOMPARE(bytes(CutAnswerPrefix(line.toStdString())), cut);
    }

    void getCommaField_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("k");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("no comma, field 0 is all") << QByteArray("ERROR") << 0 << QByteArray("ERROR");
        QTest::newRow("no comma, field 1 empty") << QByteArray("ERROR") << 1 << QByteArray();
        QTest::newRow("no comma, field 2 empty") << QByteArray("ERROR") << 2 << QByteArray();
        QTest::newRow("field 0 stops before the comma") << QByteArray("18,9") << 0 << QByteArray("18");
        QTest::newRow("field 2 keeps its comma") << QByteArray(" 0,2,\"23410\",") << 2 << QByteArray(",\"23410\"");
        QTest::newRow("last field is the bare comma") << QByteArray(" 0,2,\"23410\",") << 3 << QByteArray(",");
        QTest::newRow("leading comma: field 0 empty") << QByteArray(",a") << 0 << QByteArray();
    }
    void getCommaField()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, k);
        QFETCH(QByteArray, field);
        QCOMPARE(bytes(GetCommaField(text.toStdString(), k)), field);
    }

    void stripQuotes_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("stripped");
        QTest::newRow("quoted value") << QByteArray(",\"23410\"") << QByteArray("23410");
        QTest::newRow("three bytes unchanged") << QByteArray(",\"\"") << QByteArray(",\"\"");
        QTest::newRow("four bytes leave one") << QByteArray(",\"ab") << QByteArray("a");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void stripQuotes()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, stripped);
        QCOMPARE(bytes(StripQuotes(field.toStdString())), stripped);
    }
};

QTEST_GUILESS_MAIN(AnswerParsingTest)
#include "test_answer_parsing.moc"

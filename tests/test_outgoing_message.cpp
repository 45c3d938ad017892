// What the operator types, as it reaches the serial line.
#include <QtTest>

#include "OutgoingMessage.h"

using namespace zorvel;

class OutgoingMessageTest : public QObject {
    Q_OBJECT
private slots:
    void commands_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("recipient");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("plain") << QByteArray("+447700900123") << QByteArray("Balance?")
                               << QByteArray("AT+CMGS=\"+447700900123\"\r\n") << QByteArray("Balance?\x1A");
        QTest::newRow("empty number and text") << QByteArray() << QByteArray() << QByteArray("AT+CMGS=\"\"\r\n")
                                               << QByteArray("\x1A");
        QTest::newRow("sent exactly as typed") << QByteArray(" 123 ") << QByteArray(" a  b ")
                                               << QByteArray("AT+CMGS=\" 123 \"\r\n") << QByteArray(" a  b \x1A");
    }
    void commands()
    {
        QFETCH(QByteArray, number);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, recipient);
        QFETCH(QByteArray, body);
        const OutgoingCommands out = BuildOutgoingCommands(number.toStdString(), text.toStdString());
        QCOMPARE(QByteArray::fromStdString(out.format), QByteArray("AT+CMGF=1\r\n"));
        QCOMPARE(QByteArray::fromStdString(out.recipient), recipient);
        QCOMPARE(QByteArray::fromStdString(out.body), body);
    }

    void latin1_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<QByteArray>("latin1");
        QTest::newRow("ASCII") << QByteArray("Hi 1+1") << QByteArray("Hi 1+1");
        QTest::newRow("Latin-1 letters") << QByteArray("caf\xC3\xA9 \xC3\x9F\xC3\xBF") << QByteArray("caf\xE9 \xDF\xFF");
        QTest::newRow("outside Latin-1: one ? each") << QByteArray("\xE2\x82\xAC\xF0\x9F\x98\x80!") << QByteArray("??" "!");
        QTest::newRow("lone continuation byte") << QByteArray("a\x80" "b") << QByteArray("a?b");
        QTest::newRow("Latin-1 byte typed raw") << QByteArray("caf\xE9") << QByteArray("caf?");
        QTest::newRow("truncated sequence") << QByteArray("a\xC3") << QByteArray("a?");
        QTest::newRow("overlong form") << QByteArray("\xC1\xA9") << QByteArray("??");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("???");
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QByteArray("????");
        QTest::newRow("C1 control kept") << QByteArray("\xC2\x85") << QByteArray("\x85");
    }
    void latin1()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(QByteArray, latin1);
        QCOMPARE(QByteArray::fromStdString(Utf8ToLatin1(utf8.toStdString())), latin1);
        // Where Qt sees a character it agrees with us.
        if (!latin1.contains('?'))
            QCOMPARE(QString::fromUtf8(utf8).toLatin1(), latin1);
    }
};

QTEST_GUILESS_MAIN(OutgoingMessageTest)
#include "test_outgoing_message.moc"

// What the operator types, as it reaches the serial line.
#include <QtTest>

#include "OutgoingMessage.h"
#include "TypedLatin1.h"

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

    // The operator's text from the window, a character at a time.
    void latin1_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("latin1");
        QTest::newRow("ASCII") << QStringLiteral("Hi 1+1") << QByteArray("Hi 1+1");
        QTest::newRow("Latin-1 letters") << QString::fromUtf8("caf\xC3\xA9 \xC3\x9F\xC3\xBF") << QByteArray("caf\xE9 \xDF\xFF");
        QTest::newRow("outside Latin-1: one ? each") << QString::fromUtf8("\xE2\x82\xAC\xF0\x9F\x98\x80!") << QByteArray("??" "!");
        QTest::newRow("lone UTF-16 half") << (QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b")) << QByteArray("a?b");
        QTest::newRow("C1 control kept") << QString(QChar(0x85)) << QByteArray("\x85");
        QTest::newRow("NUL kept") << QString(QChar(0)) << QByteArray(1, '\0');
    }
    void latin1()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, latin1);
        QCOMPARE(QByteArray::fromStdString(TypedLatin1(typed)), latin1);
    }
};

QTEST_GUILESS_MAIN(OutgoingMessageTest)
#include "test_outgoing_message.moc"

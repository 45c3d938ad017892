// The keys' bytes are what zorvel.sqlite keeps (digested, or as the parts' long_key):
// each kind joins its fields exactly so, and keys sort as those bytes do.
#include <QtTest>

#include "MessageKey.h"

using namespace zorvel;

class MessageKeysTest : public QObject {
    Q_OBJECT
private slots:
    void bytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, const std::string& bytes, const QByteArray& expected) {
            QTest::newRow(name) << QByteArray::fromStdString(bytes) << expected;
        };
        InboxEntry entry{"3", "+49", "t", "Hi\nthere", {}, {}, "\"+49\"", "\"26/01/02\",145", "26/01/02"};
        SmsDeliver part{"+31 6", "s", {}, {}, {}, ConcatInfo{258, 3, 2}};
        const ContentKey content(entry, MessageFormat::Text);
        const MessageKey longMessage = LongMessageKey(part);
        SmsDeliver other = part;
        other.concat->reference = 9;
        row("entry as listed", EntryKey(entry).bytes(), "\"+49\"\x1f\"26/01/02\",145\x1fHi\nthere");
        row("text mode content", content.bytes(), "\"+49\"\x1f" "26/01/02\x1fHi\nthere");
        row("text mode header", content.header().bytes(), "\"+49\"\x1f" "26/01/02\x1f");
        row("PDU mode content", ContentKey(ReadMessage{"x", "y", "0791AB", {}}, MessageFormat::Pdu).bytes(),
            "0791AB");
        row("long message", longMessage.bytes(), "long\x1f+31 6\x1f" "258\x1f" "3");
        row("sorted as bytes: 258 before 9", std::to_string(longMessage < LongMessageKey(other)), "1");
    }
    void bytes()
    {
        QFETCH(QByteArray, bytes);
        QTEST(bytes, "expected");
    }
};

QTEST_APPLESS_MAIN(MessageKeysTest)
#include "test_message_keys.moc"

// The simulated modem's concatenated SMS: each part's PDU read back on its own with the
// tests' own reader, the parts rejoined, and the parts as the listings show them.
#include "Concatenation.h"
#include "sim/SimModemChecks.h"

#include <QRegularExpression>
#include <QTest>

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

namespace {

// UTF-16 big-endian, as UCS-2 user data carries it.
QByteArray utf16be(const QByteArray& utf8)
{
    QByteArray out;
    for (QChar c : QString::fromUtf8(utf8)) {
        out += static_cast<char>(c.unicode() >> 8);
        out += static_cast<char>(c.unicode() & 0xFF);
    }
    return out;
}

QByteArray concatHeader(bool reference16, int reference, int count, int sequence)
{
    const QByteArray element = reference16 ? QByteArray("\x06\x08\x04", 3) + char(reference >> 8)
                                           : QByteArray("\x05\x00\x03", 3);
    return element + char(reference & 0xFF) + char(count) + char(sequence);
}

} // namespace

class TestSimModemConcat : public QObject {
    Q_OBJECT

private slots:
    void concatenatedParts_data()
    {
        QTest::addColumn<QByteArray>("keys");  // store-file lines before the text
        QTest::addColumn<QByteArray>("text");  // UTF-8
        QTest::addColumn<bool>("longTexts");   // --concat
        QTest::addColumn<int>("parts");
        QTest::addColumn<int>("dcs");
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("firstPartUnits");  // septets or UCS-2 units
        const QByteArray thumbsUp = "\xF0\x9F\x91\x8D";
        const QByteArray emoji = "Meeting at 10 " + thumbsUp + "\xF0\x9F\x8E\x89";
        const QByteArray cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82! ";
        const auto row = [](const char* name, const char* keys, const QByteArray& text, bool longTexts) -> QTestData& {
            return QTest::newRow(name) << QByteArray(keys) << text << longTexts;
        };
        row("7-bit, three parts, automatic reference", "", kBankNotice, true) << 3 << 0 << 1 << 153;
        const QByteArray euroAtTheCut = QByteArray(152, 'a') + "\xE2\x82\xAC" + QByteArray(10, 'b');
        row("escape pair stays in one part", "ref: 200\n", euroAtTheCut, false) << 2 << 0 << 200 << 152;
        row("16-bit reference leaves 152 septets", "ref16: yes\nref: 4660\n", kBankNotice, false)
            << 3 << 0 << 4660 << 152;
        row("emoji: UCS-2, pair kept whole", "", QByteArray(66, 'a') + thumbsUp + " ok", true) << 2 << 8 << 1 << 66;
        row("emoji, automatic 16-bit reference", "ref16: yes\n", QByteArray(140, 'a') + thumbsUp, false)
            << 3 << 8 << 4097 << 66;
        row("cyrillic, 67 units", "", cyrillic.repeated(10), true) << 2 << 8 << 1 << 67;
        row("split surrogate: short text in two", "split-surrogate: yes\nref: 5\n", emoji, false) << 2 << 8 << 5 << 15;
        row("concat: yes on a short text", "concat: yes\n", "Hi", false) << 1 << 0 << 1 << 2;
    }
    void concatenatedParts()
    {
        QFETCH(QByteArray, keys);
        QFETCH(QByteArray, text);
        QFETCH(bool, longTexts);
        QFETCH(int, parts);
        QFETCH(int, dcs);
        QFETCH(int, reference);
        QFETCH(int, firstPartUnits);
        ConcatDefaults defaults{longTexts, 1};
        const StoreFileResult r = parseStoreFile("from: +15550004444\ntime: 26/12/07,09:30:00+04\n" + keys +
                                                     "text: " + text + "\n",
                                                 QDateTime::currentDateTime(), &defaults);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.messages.size(), parts);
        QByteArray joined, joinedText;
        for (int i = 0; i < parts; ++i) {
            const StoredMessage& m = r.messages[i];
            QVERIFY(m.part.has_value());
            const DeliverPdu pdu = buildDeliverPart("+15550000000", m.sender, m.stamp, *m.part);
            const Deliver d = decodeDeliver(pdu.hex);
            QCOMPARE(d.firstOctet, 0x44);  // SMS-DELIVER with a user data header
            QCOMPARE(d.sender, QByteArray("+15550004444"));
            QCOMPARE(d.stamp, QByteArray("26/12/07,09:30:00+04"));
            QCOMPARE(d.dcs, dcs);
            QCOMPARE(d.udh, concatHeader(keys.contains("ref16"), reference, parts, i + 1));
            QVERIFY(d.udl <= (dcs == 0 ? 160 : 140));
            QCOMPARE(pdu.tpduLength, d.tpduLength);
            const int units = int(dcs == 0 ? d.userData.size() : d.userData.size() / 2);
            if (i == 0) QCOMPARE(units, firstPartUnits);
            joined += d.userData;
            joinedText += m.text;
        }
        QCOMPARE(joined, dcs == 0 ? *toGsm7(QString::fromUtf8(text)) : utf16be(text));
        if (!keys.contains("split-surrogate")) QCOMPARE(joinedText, text);  // text mode: each part's share
        else QVERIFY(joinedText.contains("10 ?"));  // half a pair has no UTF-8 form
    }

    void concatenatedPartMatchesPublishedVector()
    {
        // Part 1 of 8, reference 0x63, of a published SMS-DELIVER (Gammu's PDU decoder
        // tests): header, one fill bit, 153 septets. Sender and time differ from the
        // original; the user data must not.
        const QString text = " Lorem ipsum dolor sit amet, consectetur adipiscing elit. Pellentesque vitae neque "
                             "egestas, faucibus eros in, iaculis ipsum. Suspendisse dignissim portti";
        const MessagePart part{0x63, false, 8, 1, false, *toGsm7(text)};
        const DeliverPdu pdu = buildDeliverPart("+15550000000", "+15550001111", "17/11/19,14:05:09+00", part);
        QVERIFY(pdu.hex.endsWith(
            "A005000363080140CCB7BCDC06A5E1F37A1B447EB3DF72D03C4D0785DB653A0B347EBBE7E531BD4CAFCB41"
            "61721A9E9E8FD3EE33A8CC4ED35D206899CD2EBBE9E579BC5E06D9D3F47019E42EC7EB6550F95C9ED3C37316"
            "C81CAE8FD3E2FA1C5496BFE7A0B49B054A87C775767A0E4AC3E7F5B60B34ADCFE16537393D9F9741E4F4D99D"
            "9ECFD36D10FC2DA7D3D3"));
    }

    void partsListAsMessagesOfTheirOwn()
    {
        CoreRig rig;
        const QByteArray statusReport = "07915155000000F006070B915155001111F1622170905120406221709051304000";
        const StoreFileResult r = parseStoreFile("from: +15550004444\ntime: 26/12/07,09:30:00+04\nref: 9\n"
                                                 "parts-order: 3,1,2\nomit-parts: 2\nduplicate-parts: 1\ntext: " +
                                                     kBankNotice + "\n\npdu: " + statusReport + "\n",
                                                 QDateTime::currentDateTime());
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        for (const StoredMessage& m : r.messages) QVERIFY(rig.store.add(m).has_value());
        rig.feed("ATE0\r");
        // PDU mode: part 3, part 1 twice, then the raw entry exactly as given.
        static const QRegularExpression entry(R"(\+CMGL: (\d+),0,,(\d+)\r\n([0-9A-F]+)\r\n)");
        QStringList listed;
        for (auto it = entry.globalMatch(QString::fromLatin1(rig.feed("AT+CMGL=4\r"))); it.hasNext();) {
            const auto m = it.next();
            const QByteArray hex = m.captured(3).toLatin1();
            if (hex == statusReport) {
                listed << m.captured(1) + ":raw/" + m.captured(2);
                continue;
            }
            const Deliver d = decodeDeliver(hex);
            QCOMPARE(m.captured(2).toInt(), d.tpduLength);
            // index:sequence/reference
            listed << m.captured(1) + ":" + QString::number(d.udh.at(5)) + "/" + QString::number(d.udh.at(3));
        }
        QCOMPARE(listed, QStringList({"0:3/9", "1:1/9", "2:1/9", "3:raw/25"}));
        // Text mode: each part with its own share of the text; the raw entry with no text.
        rig.feed("AT+CMGF=1\r");
        const auto entryOf = [](const char* index, const QByteArray& share) {
            return "\r\n+CMGL: " + QByteArray(index) +
                   ",\"REC READ\",\"+15550004444\",,\"26/12/07,09:30:00+04\"\r\n" + share;
        };
        const QByteArray text = rig.feed("AT+CMGL=\"ALL\"\r");
        QVERIFY2(text.startsWith(entryOf("0", kBankNotice.mid(306)) + entryOf("1", kBankNotice.left(153)) +
                                 entryOf("2", kBankNotice.left(153)) + "\r\n+CMGL: 3,\"REC READ\",\"\",,\""),
                 text.constData());
        QVERIFY(text.endsWith("\"\r\n\r\n\r\nOK\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSimModemConcat)
#include "test_simmodem_concat.moc"

// The outgoing SMS encoder: recipients as typed, the count of parts and the coding,
// published SMS-SUBMIT vectors, the split at the part boundaries (also with an escape
// sequence or a surrogate pair right on one), and every part decoded back.
#include <QtTest>

#include "SmsSubmit.h"
#include "test_sms_submit_reread.h"

using namespace zorvel;

namespace {

constexpr int kGsm7 = static_cast<int>(SubmitCoding::Gsm7);
constexpr int kUcs2 = static_cast<int>(SubmitCoding::Ucs2);

std::string_view View(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray Repeat(const char* utf8, int times)
{
    return QByteArray(utf8).repeated(times);
}

// Every character of the default alphabet but the escape, in table order.
const char* const kDefaultAlphabet =
    "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";
// The extension table: each of these takes two septets.
const char* const kExtension = "\f^{}\\[~]|€";

} // namespace

class SmsSubmitTest : public QObject {
    Q_OBJECT
private slots:
    void recipients_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QString>("number");  // empty: refused
        QTest::addColumn<QString>("why");     // part of whyNot when refused

        QTest::newRow("international") << QByteArray("+4915550001234") << "+4915550001234" << QString();
        QTest::newRow("national") << QByteArray("015550001234") << "015550001234" << QString();
        QTest::newRow("one digit") << QByteArray("1") << "1" << QString();
        QTest::newRow("dashes, dots, brackets")
            << QByteArray("(0155) 5000-12.34") << "015550001234" << QString();
        QTest::newRow("surrounding spaces") << QByteArray("  +4915550001234 ") << "+4915550001234"
                                            << QString();
        QTest::newRow("20 digits") << Repeat("1", 20) << QString(Repeat("1", 20)) << QString();
        QTest::newRow("21 digits") << Repeat("1", 21) << QString() << "21 digits";
        QTest::newRow("empty") << QByteArray() << QString() << "no recipient";
        QTest::newRow("plus alone") << QByteArray("+") << QString() << "no digits";
        QTest::newRow("plus in the middle") << QByteArray("49+155") << QString() << "\"+\"";
        QTest::newRow("letters") << QByteArray("+49155ABC") << QString() << "only digits";
        QTest::newRow("full-width digits") << QByteArray("０１５５") << QString() << "only digits";
        QTest::newRow("nul byte") << QByteArray("0155\0" "5000", 9) << QString() << "only digits";
        QTest::newRow("newline (command injection)") << QByteArray("0155\r\nAT+CMGD=1") << QString()
                                                     << "only digits";
    }
    void recipients()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QString, number);
        QFETCH(QString, why);
        std::string whyNot;
        const std::optional<std::string> checked = CheckRecipient(View(typed), &whyNot);
        if (number.isEmpty()) {
            QVERIFY(!checked);
            QVERIFY2(QString::fromStdString(whyNot).contains(why), whyNot.c_str());
        } else {
            QVERIFY2(checked, whyNot.c_str());
            QCOMPARE(QString::fromStdString(*checked), number);
        }
        // Without a place for the reason, the same answer; building refuses it alike.
        QCOMPARE(CheckRecipient(View(typed)).has_value(), !number.isEmpty());
        const SubmitPlan built = BuildSubmitParts(View(typed), "hi", 10, 1);
        QCOMPARE(built.whyNot, whyNot);
        QCOMPARE(built.parts.size(), number.isEmpty() ? 0u : 1u);
    }

    void counts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("maxParts");
        QTest::addColumn<int>("parts");  // 0: refused
        QTest::addColumn<int>("coding");
        QTest::addColumn<QString>("why");  // whyNot when refused, exactly

        const QString utf8 = "the text is not valid UTF-8";
        QTest::newRow("short") << QByteArray("hello") << 10 << 1 << kGsm7 << QString();
        QTest::newRow("default alphabet, all of it") << QByteArray(kDefaultAlphabet) << 10 << 1 << kGsm7
                                                     << QString();
        QTest::newRow("1530 septets, 10 parts") << Repeat("a", 1530) << 10 << 10 << kGsm7 << QString();
        QTest::newRow("1531 septets, 11 parts") << Repeat("a", 1531) << 10 << 0 << kGsm7
                                                << "the text needs 11 parts, at most 10 are allowed";
        QTest::newRow("two parts, one allowed") << Repeat("a", 161) << 1 << 0 << kGsm7
                                                << "the text needs 2 parts, at most 1 is allowed";
        QTest::newRow("no part allowed") << QByteArray("a") << 0 << 0 << kGsm7
                                         << "the text needs 1 part, at most 0 are allowed";
        QTest::newRow("more than 255 never") << Repeat("a", 256 * 153) << 1000 << 0 << kGsm7
                                             << "the text needs 256 parts, at most 255 are allowed";
        QTest::newRow("255 parts") << Repeat("a", 255 * 153) << 1000 << 255 << kGsm7 << QString();
        QTest::newRow("extension table, two septets each") << QByteArray(kExtension) << 10 << 1 << kGsm7
                                                           << QString();
        QTest::newRow("lower-case c cedilla is not in the table") << QByteArray("ç") << 10 << 1 << kUcs2
                                                                  << QString();
        QTest::newRow("backtick") << QByteArray("`") << 10 << 1 << kUcs2 << QString();
        QTest::newRow("nul") << QByteArray("a\0b", 3) << 10 << 1 << kUcs2 << QString();
        QTest::newRow("empty") << QByteArray() << 10 << 0 << kGsm7 << "the text is empty";
        QTest::newRow("invalid byte") << QByteArray("a\xff") << 10 << 0 << kGsm7 << utf8;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << 10 << 0 << kGsm7 << utf8;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << 10 << 0 << kGsm7 << utf8;
        QTest::newRow("cut short") << QByteArray("ab\xe2\x82") << 10 << 0 << kGsm7 << utf8;
        QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << 10 << 0 << kGsm7 << utf8;
        QTest::newRow("lone continuation") << QByteArray("\x80") << 10 << 0 << kGsm7 << utf8;
    }
    void counts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, maxParts);
        QFETCH(int, parts);
        QFETCH(int, coding);
        QFETCH(QString, why);
        const SubmitPlan plan = CountSubmitParts(View(text), maxParts);
        QCOMPARE(plan.partCount, parts);
        QVERIFY(plan.parts.empty());
        QCOMPARE(QString::fromStdString(plan.whyNot), why);
        if (parts > 0 || !why.contains("UTF-8"))
            QCOMPARE(static_cast<int>(plan.coding), coding);
        if (parts == 0) {  // building refuses the same text for the same reason
            const SubmitPlan built = BuildSubmitParts("+4915550001234", View(text), maxParts, 1);
            QCOMPARE(QString::fromStdString(built.whyNot), why);
            QVERIFY(built.partCount == 0 && built.parts.empty());
        }
    }

    // Published SMS-SUBMIT vectors, "derived" as the encoder writes every part: no SMSC
    // (00), TP-SRR set and no validity period (first octet 21 where the source has 01 or
    // 11), TP-MR 00, no TP-VP; the user data unchanged.
    void vectors_data()
    {
        QTest::addColumn<QByteArray>("recipient");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("tpduLength");  // of the first part
        QTest::addColumn<int>("reference");

        // dreamfabric's "hellohello" (0011000B916407281553F80000AA0AE8329BFD4697D9EC37),
        // derived: no VP, number re-encoded with 555.
        QTest::newRow("hellohello") << QByteArray("+46705551358") << QByteArray("hellohello")
                                    << QByteArray("0021000B916407551553F800000AE8329BFD4697D9EC37") << 22 << 42;
        // python-gsmmodem, second row (07914400000000F01100099121436587F90008F40A...),
        // derived: no SMSC, no VP. UCS-2.
        QTest::newRow("UCS-2, odd digit count")
            << QByteArray("+123456789") << QByteArray("世界您好！")
            << QByteArray("002100099121436587F900080A4E16754C60A8597DFF01") << 22 << 42;
        // python-gsmmodem, third row (04A12143F5310D0AA11062452143...), derived: no SMSC,
        // no VP, TP-MR 0, and the national number as type 81 (the source writes A1); typed
        // with separators, which do not reach the PDU.
        QTest::newRow("national number")
            << QByteArray("(012) 654-1234") << QByteArray("Test message: local numbers")
            << QByteArray("0021000A81106245214300001BD4F29C0E6A97E7F3F0B9AC03B1DFE3301BE4AEB7C565F91C")
            << 36 << 42;
        // Computed independently: 161 letters, reference 255, to a 9-digit number. The
        // header takes 6 octets, one fill bit, then 153 septets (TP-UDL A0 = 160).
        QTest::newRow("two parts, header and fill bit")
            << QByteArray("+49 155 5000") << Repeat("a", 161)
            << QByteArray("006100099194515500F00000A0050003FF0201C2E170381C0E87C3E170381C0E87C3E170381C0E87C3E17038"
                          "1C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C"
                          "0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E"
                          "87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3"
                          " 006100099194515500F000000F050003FF0202C2E170381C0E8701")
            << 152 << 255;
        // An '@' is septet 0 (a trailing one too: TP-UDL counts it) and a euro sign the
        // escape 1B and 65.
        QTest::newRow("at sign and euro sign") << QByteArray("12220") << QByteArray("@€")
                                               << QByteArray("00210005812122F0000003804D19") << 13 << 42;
        // python-gsmmodem test_encodeSmsSubmit_concatenated, derived: first octet 61 (SRR
        // instead of TP-RD, which the source sets: 45).
        QTest::newRow("three parts, python-gsmmodem")
            << QByteArray("+15125551234")
            << QByteArray("Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor "
                          "incididunt ut labore et dolore magna aliqua.Ut enim ad minim veniam, quinostrud "
                          "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.Duis aute irure "
                          "dolor in reprehenderit in voluptate velit esse cillum doloe eu fugiat nulla "
                          "pariatur.Excepteur sint occaecat cupidatat non proident, sunt in culpa qui officia "
                          "deserunt mollit anim id est laborum")
            << QByteArray("0061000B915121551532F40000A0050003000301986F79B90D4AC3E7F53688FC66BFE5A0799A0E0AB7CB74"
                          "1668FC76CFCB637A995E9783C2E4343C3D4F8FD3EE33A8CC4ED359A079990C22BF41E5747DDE7E9341F47"
                          "21BFE9683D2EE719A9C26D7DD74509D0E6287C56F791954A683C86FF65B5E06B5C36777181466A7E3F5B0"
                          "AB4A0795DDE936284C06B5D3EE741B642FBBD3E1360B14AFA7DD"
                          " 0061000B915121551532F40000A0050003000302DE73BABC4E0695F165F9384D0FD3D36F37A8CE6687DB"
                          "E337881D16BFE5E939C89D9EA741753A28CC4EC7EB6938A88C0795C3A0F1BBDD7E93DFA0F1DB3D2FC7EB6"
                          "1BA8B584FCF41E13ABD0C4ACBEBF23288FC66BFE5A0B41B242FC3E56574D94D2ECBD37450DA0DB2BFD975"
                          "383D4C2F83EC65769A0E2ACFE765D038CD66D7DB20F29BFD2E83CA"
                          " 0061000B915121551532F400008C050003000303EA2073FD9C0ED341EE3A9B1D06C1C3F274985E97BB8A"
                          "F871194E2FD7E5A079DA4D07BDC7E370791CA683C675789A1CA687E920F7DB0D82CBDF6972D94D6781E67"
                          "5371D947683C675363C0C8AD7D3A0B7D99C1EA7C32072795E96D7DD7450FBCD66A7E9A0B03BDD06A5C9A0"
                          "F29C0E6287C56F79BD0D")
            << 153 << 0;
    }
    void vectors()
    {
        QFETCH(QByteArray, recipient);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, hex);
        QFETCH(int, tpduLength);
        QFETCH(int, reference);
        const SubmitPlan plan = BuildSubmitParts(View(recipient), View(text), 10, reference);
        QVERIFY2(plan.whyNot.empty(), plan.whyNot.c_str());
        const QList<QByteArray> expected = hex.split(' ');
        QCOMPARE(plan.partCount, static_cast<int>(expected.size()));
        QCOMPARE(static_cast<int>(plan.parts.size()), plan.partCount);
        for (int i = 0; i < plan.partCount; ++i) {
            const SubmitPart& part = plan.parts[static_cast<std::size_t>(i)];
            QCOMPARE(QByteArray::fromStdString(part.hex), expected[i]);
            QCOMPARE(static_cast<int>(part.hex.size()), 2 + 2 * part.tpduLength);
        }
        QCOMPARE(plan.parts.front().tpduLength, tpduLength);
    }

    // Where a long text is cut: the septets (7-bit, escape included) or UTF-16 units
    // (UCS-2) of each part, read back from the part itself, and the whole read back.
    void splits_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("coding");
        QTest::addColumn<QString>("sizes");  // per part, septets or units

        QTest::newRow("160") << Repeat("a", 160) << kGsm7 << "160";
        QTest::newRow("161") << Repeat("a", 161) << kGsm7 << "153,8";
        QTest::newRow("306") << Repeat("a", 306) << kGsm7 << "153,153";
        QTest::newRow("307") << Repeat("a", 307) << kGsm7 << "153,153,1";
        QTest::newRow("70") << Repeat("ж", 70) << kUcs2 << "70";
        QTest::newRow("71") << Repeat("ж", 71) << kUcs2 << "67,4";
        QTest::newRow("134") << Repeat("ж", 134) << kUcs2 << "67,67";
        QTest::newRow("135") << Repeat("ж", 135) << kUcs2 << "67,67,1";
        QTest::newRow("80 euro signs") << Repeat("€", 80) << kGsm7 << "160";
        QTest::newRow("escape pair on the boundary")
            << Repeat("a", 152) + "€" + Repeat("a", 152) << kGsm7 << "152,153,1";
        QTest::newRow("escape pair just before the boundary")
            << Repeat("a", 151) + "€" + Repeat("a", 10) << kGsm7 << "153,10";
        QTest::newRow("extension characters only") << Repeat("{", 100) << kGsm7 << "152,48";
        QTest::newRow("surrogate pair on the boundary")
            << Repeat("ж", 66) + "😀" + Repeat("ж", 66) << kUcs2 << "66,67,1";
        QTest::newRow("surrogate pair just before the boundary")
            << Repeat("ж", 65) + "😀" + Repeat("ж", 10) << kUcs2 << "67,10";
        QTest::newRow("emoji only") << Repeat("😀", 36) << kUcs2 << "66,6";
        QTest::newRow("latin text with one emoji") << Repeat("Hello ", 12) + "😀" << kUcs2 << "67,7";
        QTest::newRow("whole default alphabet and extension, long")
            << QByteArray(kDefaultAlphabet) + kExtension + kDefaultAlphabet << kGsm7 << "153,121";
    }
    void splits()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, coding);
        QFETCH(QString, sizes);
        const QStringList expected = sizes.split(',');
        const SubmitPlan plan = BuildSubmitParts("+4915550001234", View(text), 10, 200);
        QVERIFY2(plan.whyNot.empty(), plan.whyNot.c_str());
        QCOMPARE(static_cast<int>(plan.coding), coding);
        QCOMPARE(plan.partCount, static_cast<int>(expected.size()));
        QCOMPARE(static_cast<int>(plan.parts.size()), plan.partCount);
        // Counting alone says the same.
        const SubmitPlan counted = CountSubmitParts(View(text), 10);
        QCOMPARE(counted.partCount, plan.partCount);
        QCOMPARE(counted.coding, plan.coding);

        const bool long_ = plan.partCount > 1;
        std::u16string joined;
        for (int i = 0; i < plan.partCount; ++i) {
            const SubmitPart& part = plan.parts[static_cast<std::size_t>(i)];
            std::string why;
            const std::optional<reread::SubmitRead> read = reread::ReadSubmitPart(part.hex, &why);
            QVERIFY2(read, why.c_str());
            QCOMPARE(read->tpduLength, part.tpduLength);
            QCOMPARE(read->firstOctet, long_ ? 0x61 : 0x21);
            QCOMPARE(read->dcs, coding == kGsm7 ? 0x00 : 0x08);
            const int headerLength = long_ ? (coding == kGsm7 ? 7 : 6) : 0;
            const int size = coding == kGsm7 ? read->udl - headerLength : (read->udl - headerLength) / 2;
            QCOMPARE(QString::number(size), expected[i]);
            QCOMPARE(read->decoded.concat.has_value(), long_);
            if (long_) {
                QCOMPARE(read->decoded.concat->reference, 200);
                QCOMPARE(read->decoded.concat->count, plan.partCount);
                QCOMPARE(read->decoded.concat->sequence, i + 1);
                QVERIFY(!read->decoded.concat->sixteenBit);
            }
            // No part ends in the first half of a surrogate pair.
            const std::u16string& units = read->decoded.units;
            QVERIFY(!units.empty());
            QVERIFY(!(units.back() >= 0xD800 && units.back() <= 0xDBFF));
            QVERIFY(!(units.front() >= 0xDC00 && units.front() <= 0xDFFF));
            joined += units;
        }
        QCOMPARE(QByteArray::fromStdString(Utf16ToUtf8(joined)), text);
    }
};

QTEST_APPLESS_MAIN(SmsSubmitTest)
#include "test_sms_submit.moc"

// The outgoing SMS encoder: recipients as typed, the count of parts and the coding,
// published SMS-SUBMIT vectors, the split at the part boundaries (also with an escape
// sequence or a surrogate pair right on one), and every part decoded back.
#include <QtTest>

#include "SmsSubmit.h"

using namespace zorvel;

namespace {

constexpr int kGsm7 = static_cast<int>(SubmitCoding::Gsm7);
constexpr int kUcs2 = static_cast<int>(SubmitCoding::Ucs2);

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
        QTest::newRow("short code") << QByteArray("12220") << "12220" << QString();
        QTest::newRow("one digit") << QByteArray("1") << "1" << QString();
        QTest::newRow("one digit international") << QByteArray("+1") << "+1" << QString();
        QTest::newRow("spaces") << QByteArray("+49 155 5000 1234") << "+4915550001234" << QString();
        QTest::newRow("dashes, dots, brackets")
            << QByteArray("(0155) 5000-12.34") << "015550001234" << QString();
        QTest::newRow("surrounding spaces") << QByteArray("  +4915550001234 ") << "+4915550001234"
                                            << QString();
        QTest::newRow("20 digits") << Repeat("1", 20) << QString(Repeat("1", 20)) << QString();
        QTest::newRow("+ and 20 digits") << "+" + Repeat("9", 20) << QString("+" + Repeat("9", 20))
                                         << QString();
        QTest::newRow("21 digits") << Repeat("1", 21) << QString() << "21 digits";
        QTest::newRow("21 digits with spaces") << "+" + Repeat("12 ", 10) + "3" << QString() << "21 digits";
        QTest::newRow("empty") << QByteArray() << QString() << "no recipient";
        QTest::newRow("only spaces") << QByteArray("   ") << QString() << "no recipient";
        QTest::newRow("plus alone") << QByteArray("+") << QString() << "no digits";
        QTest::newRow("separators alone") << QByteArray("(-.)") << QString() << "no digits";
        QTest::newRow("plus in the middle") << QByteArray("49+155") << QString() << "\"+\"";
        QTest::newRow("two pluses") << QByteArray("++49155") << QString() << "\"+\"";
        QTest::newRow("letters") << QByteArray("+49155ABC") << QString() << "only digits";
        QTest::newRow("alphanumeric name") << QByteArray("Bank") << QString() << "only digits";
        QTest::newRow("star code") << QByteArray("*100#") << QString() << "only digits";
        QTest::newRow("tab") << QByteArray("0155\t5000") << QString() << "only digits";
        QTest::newRow("slash") << QByteArray("0155/5000") << QString() << "only digits";
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
        const std::optional<std::string> checked =
            CheckRecipient(std::string_view(typed.constData(), static_cast<std::size_t>(typed.size())), &whyNot);
        if (number.isEmpty()) {
            QVERIFY(!checked);
            QVERIFY2(QString::fromStdString(whyNot).contains(why), whyNot.c_str());
        } else {
            QVERIFY2(checked, whyNot.c_str());
            QCOMPARE(QString::fromStdString(*checked), number);
        }
        // Without a place for the reason, the same answer.
        QCOMPARE(CheckRecipient(std::string_view(typed.constData(), static_cast<std::size_t>(typed.size())))
                     .has_value(),
                 !number.isEmpty());
    }

    void counts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("maxParts");
        QTest::addColumn<int>("parts");  // 0: refused
        QTest::addColumn<int>("coding");
        QTest::addColumn<QString>("why");  // whyNot when refused, exactly

        QTest::newRow("short") << QByteArray("hello") << 10 << 1 << kGsm7 << QString();
        QTest::newRow("one character") << QByteArray("a") << 10 << 1 << kGsm7 << QString();
        QTest::newRow("at sign") << QByteArray("@") << 10 << 1 << kGsm7 << QString();
        QTest::newRow("default alphabet, all of it") << QByteArray(kDefaultAlphabet) << 10 << 1 << kGsm7
                                                     << QString();
        QTest::newRow("160 septets") << Repeat("a", 160) << 10 << 1 << kGsm7 << QString();
        QTest::newRow("161 septets") << Repeat("a", 161) << 10 << 2 << kGsm7 << QString();
        QTest::newRow("306 septets") << Repeat("a", 306) << 10 << 2 << kGsm7 << QString();
        QTest::newRow("307 septets") << Repeat("a", 307) << 10 << 3 << kGsm7 << QString();
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
        QTest::newRow("80 euro signs: 160 septets") << Repeat("€", 80) << 10 << 1 << kGsm7 << QString();
        QTest::newRow("80 euro signs and a letter") << Repeat("€", 80) + "a" << 10 << 2 << kGsm7 << QString();
        QTest::newRow("159 letters and a bracket") << Repeat("a", 159) + "[" << 10 << 2 << kGsm7 << QString();
        // 306 septets would fit two parts, but the escape pair may not straddle them.
        QTest::newRow("escape on the boundary: 3 parts")
            << Repeat("a", 152) + "€" + Repeat("a", 152) << 10 << 3 << kGsm7 << QString();
        QTest::newRow("escape before the boundary: 2 parts")
            << Repeat("a", 151) + "€" + Repeat("a", 153) << 10 << 2 << kGsm7 << QString();
        QTest::newRow("70 units") << Repeat("ж", 70) << 10 << 1 << kUcs2 << QString();
        QTest::newRow("71 units") << Repeat("ж", 71) << 10 << 2 << kUcs2 << QString();
        QTest::newRow("134 units") << Repeat("ж", 134) << 10 << 2 << kUcs2 << QString();
        QTest::newRow("135 units") << Repeat("ж", 135) << 10 << 3 << kUcs2 << QString();
        QTest::newRow("one Cyrillic letter makes all UCS-2") << Repeat("a", 100) + "ж" << 10 << 2 << kUcs2
                                                              << QString();
        QTest::newRow("35 emoji: 70 units") << Repeat("😀", 35) << 10 << 1 << kUcs2 << QString();
        QTest::newRow("surrogate pair on the boundary: 3 parts")
            << Repeat("ж", 66) + "😀" + Repeat("ж", 66) << 10 << 3 << kUcs2 << QString();
        QTest::newRow("surrogate pair before the boundary: 2 parts")
            << Repeat("ж", 65) + "😀" + Repeat("ж", 67) << 10 << 2 << kUcs2 << QString();
        QTest::newRow("lower-case c cedilla is not in the table") << QByteArray("ç") << 10 << 1 << kUcs2
                                                                  << QString();
        QTest::newRow("backtick") << QByteArray("`") << 10 << 1 << kUcs2 << QString();
        QTest::newRow("tab") << QByteArray("a\tb") << 10 << 1 << kUcs2 << QString();
        QTest::newRow("nul") << QByteArray("a\0b", 3) << 10 << 1 << kUcs2 << QString();
        QTest::newRow("empty") << QByteArray() << 10 << 0 << kGsm7 << "the text is empty";
        QTest::newRow("invalid byte") << QByteArray("a\xff") << 10 << 0 << kGsm7
                                      << "the text is not valid UTF-8";
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << 10 << 0 << kGsm7
                                        << "the text is not valid UTF-8";
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << 10 << 0 << kGsm7
                                           << "the text is not valid UTF-8";
        QTest::newRow("cut short") << QByteArray("ab\xe2\x82") << 10 << 0 << kGsm7
                                   << "the text is not valid UTF-8";
        QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << 10 << 0 << kGsm7
                                        << "the text is not valid UTF-8";
        QTest::newRow("lone continuation") << QByteArray("\x80") << 10 << 0 << kGsm7
                                           << "the text is not valid UTF-8";
    }
    void counts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, maxParts);
        QFETCH(int, parts);
        QFETCH(int, coding);
        QFETCH(QString, why);
        const SubmitPlan plan =
            CountSubmitParts(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), maxParts);
        QCOMPARE(plan.partCount, parts);
        QVERIFY(plan.parts.empty());
        QCOMPARE(QString::fromStdString(plan.whyNot), why);
        if (parts > 0 || !why.contains("UTF-8"))
            QCOMPARE(static_cast<int>(plan.coding), coding);
    }
};

QTEST_APPLESS_MAIN(SmsSubmitTest)
#include "test_sms_submit.moc"

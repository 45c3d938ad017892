// Which message each cycle forwards: long messages joined, a refused message taking its
// turn, an accepted one never sent twice.
#include <QtTest>

#include "DoublingWait.h"
#include "ForwardingPlanner.h"
#include "fakes/PduBuilder.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

constexpr std::int64_t minute = 60 * 1000;

// What one stored entry is: a part of a long message, a single UCS2 SMS, or anything else.
struct Stored {
    int index;
    std::string hex;
};

Stored part(int index, int reference, int count, int sequence, std::u16string text,
            bool sixteenBit = false, std::string sender = "15550001234")
{
    PduFields pdu;
    pdu.sender = std::move(sender);
    pdu.text = std::move(text);
    pdu.reference = reference;
    pdu.count = count;
    pdu.sequence = sequence;
    pdu.sixteenBitReference = sixteenBit;
    return {index, BuildPdu(pdu)};
}

Stored single(int index, std::u16string text)
{
    PduFields pdu;
    pdu.sender = "15550009876";
    pdu.text = std::move(text);
    return {index, BuildPdu(pdu)};
}

Stored eightBit(int index, std::string octets)
{
    PduFields pdu;
    pdu.octets = std::move(octets);
    return {index, BuildPdu(pdu)};
}

InboxList listOf(const std::vector<Stored>& stored, bool whole = true)
{
    InboxList list;
    for (const Stored& s : stored) {
        InboxEntry e;
        e.index = std::to_string(s.index);
        e.sender = e.stamp = "PDU";
        e.text = e.shownText = s.hex;
        e.complete = true;
        list.entries.push_back(e);
    }
    list.whole = whole;
    return list;
}

QStringList indexes(const ListedMessage& m)
{
    QStringList out;
    for (const std::string& i : m.indexes)
        out << QString::fromStdString(i);
    return out;
}

InboxList textList(const std::vector<std::string>& texts)
{
    InboxList list;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        InboxEntry e;
        e.index = std::to_string(i + 1);
        e.sender = e.headerSender = "+15550001234";
        e.stamp = e.headerStamp = "26/12/07,09:15:00+04";
        e.text = texts[i];
        e.complete = true;
        list.entries.push_back(e);
    }
    list.whole = true;
    return list;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Stored>)

class ForwardingPlannerTest : public QObject {
    Q_OBJECT
private slots:
    void joinsTheFirstWholeMessage_data();
    void joinsTheFirstWholeMessage();
    void missingPartWaitsThenGoesWithAMark();
    void refusedMessageTakesItsTurn();
    void acceptedMessageIsOnlyDeletedAgain();
    void undecodableEntryGoesAsListed();
    void repeatedFailuresWaitLonger();
    void doublingWait_data();
    void doublingWait();
    void reusedReferenceAfterAnIncompleteMessage();
    void noticeKeepsASendersLineBreaksEscaped();
};

void ForwardingPlannerTest::joinsTheFirstWholeMessage_data()
{
    QTest::addColumn<std::vector<Stored>>("stored");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("deleted");
    QTest::addColumn<int>("parts");

    QTest::newRow("parts out of order")
        << std::vector{part(1, 7, 3, 3, u"C"), part(2, 7, 3, 1, u"A"), part(3, 7, 3, 2, u"B")}
        << "ABC" << QStringList{"2", "3", "1"} << 3;
    // The long message is first listed but not whole: the single behind it goes first.
    QTest::newRow("interleaved, waiting part skipped")
        << std::vector{part(1, 7, 2, 1, u"A"), single(2, u"single"), part(3, 9, 2, 2, u"y"),
                       part(4, 9, 2, 1, u"x")}
        << "single" << QStringList{"2"} << 1;
    QTest::newRow("parts around another message")
        << std::vector{part(1, 9, 2, 2, u"y"), part(2, 9, 2, 1, u"x"), single(3, u"single")}
        << "xy" << QStringList{"2", "1"} << 2;
    QTest::newRow("same part listed twice")
        << std::vector{part(4, 1, 2, 1, u"Hel"), part(5, 1, 2, 2, u"lo"), part(6, 1, 2, 1, u"Hel")}
        << "Hello" << QStringList{"4", "6", "5"} << 2;
    // U+1F44D is D83D DC4D; a phone may cut between the two halves.
    QTest::newRow("surrogate pair split across parts")
        << std::vector{part(1, 3, 2, 1, u"ok \xD83D"), part(2, 3, 2, 2, u"\xDC4D!")}
        << QString::fromUtf8("ok \xF0\x9F\x91\x8D!") << QStringList{"1", "2"} << 2;
    QTest::newRow("16-bit reference")
        << std::vector{part(1, 0x1234, 2, 2, u"d", true), part(2, 0x1234, 2, 1, u"ab", true)}
        << "abd" << QStringList{"2", "1"} << 2;
    // Same reference and count, other sender: two messages, neither whole.
    QTest::newRow("other sender, other message")
        << std::vector{part(1, 5, 2, 1, u"a"), part(2, 5, 2, 2, u"b", false, "15550007777"),
                       single(3, u"s")}
        << "s" << QStringList{"3"} << 1;
    QTest::newRow("8-bit data as hex")
        << std::vector{eightBit(1, std::string("\x01\xAB", 2))}
        << "01AB" << QStringList{"1"} << 1;
}

void ForwardingPlannerTest::joinsTheFirstWholeMessage()
{
    QFETCH(std::vector<Stored>, stored);
    QFETCH(QString, text);
    QFETCH(QStringList, deleted);
    QFETCH(int, parts);
    ForwardingPlanner queue(true, 10 * minute);
    const CyclePlan plan = queue.plan(listOf(stored), 0);
    QVERIFY(plan.forward);
    QCOMPARE(QString::fromStdString(plan.forward->text), text);
    QCOMPARE(indexes(*plan.forward), deleted);
    QCOMPARE(plan.forward->parts, parts);
    QVERIFY(plan.forward->sender.starts_with("+1555000"));
    QCOMPARE(plan.forward->stamp, std::string("26/12/07,09:15:00+04"));
}

void ForwardingPlannerTest::missingPartWaitsThenGoesWithAMark()
{
    ForwardingPlanner queue(true, 10 * minute);
    const auto twoOfFour = listOf({part(1, 8, 4, 1, u"one "), part(2, 8, 4, 3, u"three")});
    CyclePlan plan = queue.plan(twoOfFour, 0);
    QVERIFY(!plan.forward);
    QCOMPARE(plan.notices.size(), std::size_t(1));
    QVERIFY(!queue.plan(twoOfFour, 10 * minute).forward); // not longer than the limit yet
    // A list the reply window cut short is no proof that parts are missing.
    QVERIFY(!queue.plan(listOf({part(1, 8, 4, 1, u"one "), part(2, 8, 4, 3, u"three")}, false),
                        11 * minute).forward);
    plan = queue.plan(twoOfFour, 11 * minute);
    QVERIFY(plan.forward);
    QCOMPARE(plan.forward->text, std::string("one [...]three[...]"));
    QCOMPARE(plan.forward->parts, 2);
    queue.accepted(*plan.forward);

    // Part 2 turns up afterwards: a message of its own, at once.
    plan = queue.plan(listOf({part(7, 8, 4, 2, u"two ")}), 12 * minute);
    QVERIFY(plan.forward);
    QCOMPARE(plan.forward->text, std::string("two "));
    QCOMPARE(indexes(*plan.forward), QStringList{"7"});
}

void ForwardingPlannerTest::refusedMessageTakesItsTurn()
{
    ForwardingPlanner queue(false, 10 * minute);
    const InboxList three = textList({"refused", "second", "third"});
    QStringList order;
    for (int cycle = 0; cycle < 4; ++cycle) {
        const CyclePlan plan = queue.plan(three, cycle);
        order << QString::fromStdString(plan.forward->text);
        queue.refused(*plan.forward, cycle);
    }
    QCOMPARE(order, (QStringList{"refused", "second", "third", "refused"}));

    // Accepted after a refusal: the list starts from the top again.
    ForwardingPlanner again(false, 10 * minute);
    again.refused(*again.plan(three, 0).forward, 0);
    const CyclePlan second = again.plan(three, 1);
    again.accepted(*second.forward);
    QCOMPARE(again.plan(textList({"refused", "third"}), 2).forward->text, std::string("refused"));

    // A single stored message is simply tried again.
    ForwardingPlanner one(false, 10 * minute);
    const InboxList alone = textList({"alone"});
    one.refused(*one.plan(alone, 0).forward, 0);
    QCOMPARE(one.plan(alone, 1).forward->text, std::string("alone"));
}

void ForwardingPlannerTest::acceptedMessageIsOnlyDeletedAgain()
{
    for (bool decode : {false, true}) {
        ForwardingPlanner queue(decode, 10 * minute);
        const InboxList list = decode ? listOf({part(3, 1, 2, 1, u"a"), part(4, 1, 2, 2, u"b")})
                                      : textList({"first", "second"});
        const CyclePlan first = queue.plan(list, 0);
        queue.accepted(*first.forward);
        // Every delete failed: the message is listed again, in full.
        const CyclePlan next = queue.plan(list, 1);
        std::vector<std::string> again;
        for (const PlannedDelete& d : next.deleteAgain)
            again.push_back(d.index);
        QCOMPARE(again, first.forward->indexes);
        if (decode) {
            QVERIFY(!next.forward);
        } else {
            QCOMPARE(next.forward->text, std::string("second"));
        }
        // An empty list may be a late "OK" of another command: it forgets nothing. Once a
        // whole list with entries no longer holds it, the same text is a new message.
        queue.plan(InboxList{{}, true}, 2);
        QVERIFY(!queue.plan(list, 3).deleteAgain.empty());
        // Nor does a list cut short inside the message: its shortened text is no proof
        // that the message is gone.
        InboxList cut = list;
        cut.entries.resize(1);
        cut.entries.back().text.resize(1);
        cut.entries.back().complete = false;
        queue.plan(cut, 3);
        QVERIFY(!queue.plan(list, 3).deleteAgain.empty());
        queue.plan(decode ? listOf({part(5, 2, 2, 1, u"x")}) : textList({"other"}), 4);
        QVERIFY(queue.plan(list, 5).deleteAgain.empty());
    }
}

void ForwardingPlannerTest::undecodableEntryGoesAsListed()
{
    ForwardingPlanner queue(true, 10 * minute);
    // A status report (first octet 0x06) and a PDU cut short.
    const InboxList list = listOf({{1, "0006D40B911555000012F3622170905100406221709051104000"},
                                   {2, single(2, u"cut").hex.substr(0, 30)}});
    QStringList sent;
    for (int cycle = 0; cycle < 2; ++cycle) {
        const CyclePlan plan = queue.plan(list, cycle);
        QCOMPARE(plan.forward->sender, std::string("PDU"));
        QCOMPARE(plan.forward->stamp, std::string("PDU"));
        sent << QString::fromStdString(plan.forward->text);
        queue.accepted(*plan.forward);
    }
    QCOMPARE(sent, (QStringList{QString::fromStdString(list.entries[0].text),
                                QString::fromStdString(list.entries[1].text)}));
}

QTEST_GUILESS_MAIN(ForwardingPlannerTest)
#include "test_forwarding_planner.moc"

// Its next turn after the first failure, then 30 s doubling up to 10 minutes; a message
// waiting out its back-off lets the others go, and an acceptance ends the back-off.
void ForwardingPlannerTest::repeatedFailuresWaitLonger()
{
    ForwardingPlanner queue(false, 10 * minute);
    const InboxList list = textList({"refused", "other"});
    std::vector<std::int64_t> waits;
    std::int64_t now = 0;
    for (int failure = 0; failure < 8; ++failure) {
        const CyclePlan plan = queue.plan(list, now);
        QCOMPARE(plan.forward->text, std::string("refused"));
        waits.push_back(queue.refused(*plan.forward, now) / 1000);
        // Until the wait is over the other message goes, and is refused too (next turn).
        const CyclePlan meanwhile = queue.plan(list, now + 1);
        QCOMPARE(meanwhile.forward->text, std::string("other"));
        queue.refused(*meanwhile.forward, now + 1);
        if (waits.back() > 0)
            QVERIFY(!queue.plan(list, now + waits.back() * 1000 - 1).forward ||
                    queue.plan(list, now + waits.back() * 1000 - 1).forward->text != "refused");
        now += std::max<std::int64_t>(waits.back(), 600) * 1000; // past both waits
    }
    QCOMPARE(waits, (std::vector<std::int64_t>{0, 30, 60, 120, 240, 480, 600, 600}));

    ForwardingPlanner fresh(false, 10 * minute);
    fresh.refused(*fresh.plan(list, 0).forward, 0);
    fresh.refused(*fresh.plan(list, 0).forward, 0);
    fresh.accepted(*fresh.plan(list, 0).forward);
    QCOMPARE(fresh.refused(*fresh.plan(textList({"refused"}), 0).forward, 0), std::int64_t(0));
}

// References are 8-bit and repeat: once no part of a message sent with "[...]" is listed,
// a later long message with the same sender, reference and count is joined as usual.
void ForwardingPlannerTest::reusedReferenceAfterAnIncompleteMessage()
{
    ForwardingPlanner queue(true, 1 * minute);
    queue.plan(listOf({part(1, 7, 2, 1, u"A1 ")}), 0);
    const CyclePlan late = queue.plan(listOf({part(1, 7, 2, 1, u"A1 ")}), 2 * minute);
    QCOMPARE(late.forward->text, std::string("A1 [...]"));
    queue.accepted(*late.forward);
    queue.plan(listOf({}), 3 * minute); // deleted: nothing listed
    const CyclePlan reused = queue.plan(listOf({part(2, 7, 2, 1, u"B1 "), part(3, 7, 2, 2, u"B2")}),
                                        4 * minute);
    QVERIFY(reused.forward);
    QCOMPARE(reused.forward->text, std::string("B1 B2"));
    QCOMPARE(indexes(*reused.forward), (QStringList{"2", "3"}));
}

void ForwardingPlannerTest::noticeKeepsASendersLineBreaksEscaped()
{
    PduFields pdu;
    pdu.alphanumericSender = "Bank\r\nINFO"; // 10 characters: a valid name
    pdu.text = u"x";
    pdu.reference = 9;
    pdu.count = 2;
    pdu.sequence = 1;
    ForwardingPlanner queue(true, 10 * minute);
    const CyclePlan plan = queue.plan(listOf({{1, BuildPdu(pdu)}}), 0);
    QCOMPARE(plan.notices.size(), std::size_t(1));
    QVERIFY(plan.notices[0].find_first_of("\r\n") == std::string::npos);
}

// A refused message and a failing server count their waits alike: doubling, capped.
void ForwardingPlannerTest::doublingWait_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QList<qint64>>("waits"); // after 1, 2, 3, ... failures in a row
    QTest::newRow("message") << false << QList<qint64>{0, 30'000, 60'000, 120'000, 240'000, 480'000,
                                                       600'000, 600'000};
    QTest::newRow("server") << true << QList<qint64>{1'000, 2'000, 4'000, 8'000, 16'000, 32'000,
                                                     60'000, 60'000};
}

void ForwardingPlannerTest::doublingWait()
{
    QFETCH(bool, server);
    QFETCH(QList<qint64>, waits);
    const DoublingWait& wait = server ? serverPauseWait : messageRetryWait;
    for (int failures = 1; failures <= waits.size(); ++failures)
        QCOMPARE(wait.afterFailures(failures), waits[failures - 1]);
    QCOMPARE(wait.afterFailures(0), qint64(0));
}

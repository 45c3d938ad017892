// The simulated modem's pure parts, driven directly: PDU encoder, store files, message
// store, command interpreter, options.
#include "Options.h"
#include "sim/SimModemChecks.h"
#include "test_simmodem/SimModemTest.h"

#include <QRegularExpression>
#include <QTest>

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

void TestSimModem::packSeptets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("packedHex");
    QTest::newRow("hellohello") << "hellohello" << QByteArray("E8329BFD4697D9EC37");
    QTest::newRow("eight septets fill seven octets") << "12345678" << QByteArray("31D98C56B3DD70");
    QTest::newRow("empty") << "" << QByteArray("");
}

void TestSimModem::packSeptets()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, packedHex);
    const auto septets = toGsm7(text);
    QVERIFY(septets.has_value());
    QCOMPARE(zorvel::sim::packSeptets(*septets).toHex().toUpper(), packedHex);
}

void TestSimModem::deliverPdu_data()
{
    QTest::addColumn<QByteArray>("sender");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("dcs");
    QTest::addColumn<QByteArray>("userDataHex");  // septets or UCS-2 octets
    QTest::newRow("international, ascii") << QByteArray("+15550002222") << QByteArray("17/11/19,14:05:09+00")
                                          << QByteArray("Hi @ 5") << 0 << QByteArray("486920002035");
    QTest::newRow("national digits, odd count") << QByteArray("5550123") << QByteArray("24/02/29,08:00:00-08")
                                                << QByteArray("ok") << 0 << QByteArray("6f6b");
    QTest::newRow("alphanumeric sender") << QByteArray("SimBank") << QByteArray("01/01/01,00:00:00+04")
                                         << QByteArray("x") << 0 << QByteArray("78");
    QTest::newRow("latin-1 accents map to gsm") << QByteArray("+1555") << QByteArray("17/11/19,14:05:09+00")
                                                << QByteArray("caf\xE9 \xE0") << 0 << QByteArray("63616605207f");
    QTest::newRow("utf-8 euro uses the extension table") << QByteArray("+1555") << QByteArray("17/11/19,14:05:09+00")
                                                         << QByteArray("5\xE2\x82\xAC[") << 0 << QByteArray("351b651b3c");
    QTest::newRow("cyrillic needs ucs-2") << QByteArray("+1555") << QByteArray("17/11/19,14:05:09+00")
                                          << QByteArray("\xD0\x96!") << 8 << QByteArray("04160021");
}

void TestSimModem::deliverPdu()
{
    QFETCH(QByteArray, sender);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, text);
    QFETCH(int, dcs);
    QFETCH(QByteArray, userDataHex);
    const DeliverPdu pdu = buildDeliverPdu("+15550000000", sender, stamp, text);
    const Deliver d = decodeDeliver(pdu.hex);
    QCOMPARE(d.smsc, QByteArray("+15550000000"));
    QCOMPARE(d.firstOctet & 0x03, 0);  // SMS-DELIVER
    QCOMPARE(d.sender, sender);
    QCOMPARE(d.stamp, stamp);
    QCOMPARE(d.dcs, dcs);
    QCOMPARE(d.userData.toHex(), userDataHex);
    QCOMPARE(pdu.tpduLength, d.tpduLength);
    QCOMPARE(pdu.hex, pdu.hex.toUpper());
}

void TestSimModem::longTextIsCutToOneMessage()
{
    const DeliverPdu pdu = buildDeliverPdu("+1", "+1", "17/11/19,14:05:09+00", QByteArray(200, 'a'));
    QVERIFY(pdu.truncated);
    QCOMPARE(decodeDeliver(pdu.hex).userData.size(), 160);
}

void TestSimModem::storeFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("lastSender");
    QTest::addColumn<QByteArray>("lastText");
    QTest::addColumn<QString>("error");
    QTest::newRow("two blocks, body with dot stuffing")
        << kTwoMessages << 2 << QByteArray("+15550003333") << QByteArray("Tom & Jerry #1 caf\xE9\n.dot line") << "";
    QTest::newRow("crlf file") << QByteArray("from: +1\r\ntext:\r\na\r\nb\r\n.\r\n") << 1 << QByteArray("+1")
                               << QByteArray("a\nb") << "";
    QTest::newRow("text-hex keeps any byte") << QByteArray("from: x\ntext-hex: 410d0a42\n") << 1 << QByteArray("x")
                                             << QByteArray("A\r\nB") << "";
    QTest::newRow("comments and blank lines") << QByteArray("# hi\n\n\nfrom: a\ntext: b\n\n# end\n") << 1
                                              << QByteArray("a") << QByteArray("b") << "";
    QTest::newRow("unknown key names its line") << QByteArray("from: a\nfrmo: b\n") << 0 << QByteArray()
                                                << QByteArray() << "line 2";
    QTest::newRow("unended body") << QByteArray("text:\nabc\n") << 0 << QByteArray() << QByteArray() << "not ended";
    QTest::newRow("bad status") << QByteArray("status: NEW\n") << 0 << QByteArray() << QByteArray() << "status";
    QTest::newRow("concat: yes makes one part") << QByteArray("from: a\nconcat: yes\ntext: Hi\n") << 1
                                                << QByteArray("a") << QByteArray("Hi") << "";
    const auto refused = [](const char* name, const QByteArray& file, const char* error) {
        QTest::newRow(name) << file << 0 << QByteArray() << QByteArray() << QString(error);
    };
    refused("parts-order must name every part", "parts-order: 2,1\ntext: " + kBankNotice + "\n",
            "line 1: parts-order: the text makes 3");
    refused("split-surrogate needs a pair", "text: Hi\nsplit-surrogate: yes\n", "line 2: split-surrogate");
    refused("8-bit reference above 255", "ref: 256\ntext: a\n", "line 1: ref: reference 256");
    refused("a raw pdu is not split", "pdu: 00\nref: 3\n", "line 1: a pdu");
    refused("storage is SM or ME", "from: a\nstorage: MT\ntext: b\n", "line 2: storage");
}

void TestSimModem::storeFile()
{
    QFETCH(QByteArray, file);
    QFETCH(int, count);
    QFETCH(QByteArray, lastSender);
    QFETCH(QByteArray, lastText);
    QFETCH(QString, error);
    const StoreFileResult r = parseStoreFile(file, QDateTime::currentDateTime());
    if (!error.isEmpty()) {
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        return;
    }
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.messages.size(), count);
    QCOMPARE(r.messages.last().sender, lastSender);
    QCOMPARE(r.messages.last().text, lastText);
}

void TestSimModem::missingTimeIsNowInModemForm()
{
    const QDateTime now(QDate(2024, 3, 5), QTime(9, 7, 2), Qt::OffsetFromUTC, 3600);
    const StoreFileResult r = parseStoreFile("from: a\ntext: b\n", now);
    QCOMPARE(r.messages.value(0).stamp, QByteArray("24/03/05,09:07:02+04"));
}

void TestSimModem::storeTakesLowestFreeIndex()
{
    MessageStore store(0, 3);
    for (int i = 0; i < 3; ++i) QCOMPARE(store.add({}), std::optional<int>(i));
    QVERIFY(!store.add({}).has_value());  // full
    QVERIFY(store.remove(1));
    QVERIFY(!store.remove(1));
    QCOMPARE(store.add({}), std::optional<int>(1));
}

// A full SIM keeps later messages in line; each delete lets the oldest one land.
// Script: "+x" offers message x, "-n" deletes slot n; capacity 2.
void TestSimModem::storeHoldsBackWhenFull_data()
{
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<QByteArrayList>("events");
    QTest::newRow("room: stored at once") << QByteArrayList{"+a", "+b", "-0"}
                                         << QByteArrayList{"add 0 a", "add 1 b", "delete 0 a"};
    QTest::newRow("held in arrival order, each lands in the freed slot")
        << QByteArrayList{"+a", "+b", "+c", "+d", "-1", "-0", "-1"}
        << QByteArrayList{"add 0 a", "add 1 b", "held c", "held d", "delete 1 b", "add 1 c held",
                          "delete 0 a", "add 0 d held", "delete 1 c"};
    QTest::newRow("a failed delete releases nothing")
        << QByteArrayList{"+a", "+b", "+c", "-5"} << QByteArrayList{"add 0 a", "add 1 b", "held c"};
    QTest::newRow("an index out of range is refused, not held")
        << QByteArrayList{"+a", "+b", "+@7", "-0"} << QByteArrayList{"add 0 a", "add 1 b", "delete 0 a"};
}

void TestSimModem::storeHoldsBackWhenFull()
{
    QFETCH(QByteArrayList, script);
    QFETCH(QByteArrayList, events);
    MessageStore store(0, 2);
    QByteArrayList seen;
    store.onChange = [&](const char* what, const StoredMessage& m) {
        QByteArray e = what;
        if (e != "held") e += " " + QByteArray::number(m.index);
        seen << e + " " + m.sender + (e.startsWith("add") && m.heldSinceMs == 42 ? " held" : "");
    };
    for (const QByteArray& step : script) {
        if (step.startsWith('-')) {
            store.remove(step.mid(1).toInt());
            continue;
        }
        StoredMessage m;
        m.sender = step.mid(1);
        if (m.sender.startsWith('@')) m.index = m.sender.mid(1).toInt();
        store.offer(m, 42);
    }
    QCOMPARE(seen, events);
}

void TestSimModem::exchanges_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char* name, QByteArray profile, QByteArrayList chunks, QByteArray expected) {
        QTest::newRow(name) << profile << chunks << expected;
    };
    row("echo then CR CR LF", "e1750", {"AT\r\n"}, "AT\r\r\nOK\r\n");
    row("exact echo keeps the LF", "generic", {"AT\r\n"}, "AT\r\n\r\nOK\r\n");
    row("exact echo, LF in a later write", "generic", {"AT\r", "\n"}, "AT\r\r\nOK\r\n\n");
    row("ATE0 is echoed, then no echo", "e1750", {"ATE0\r\n", "AT+CSQ\r\n"},
        "ATE0\r\r\nOK\r\n\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
    row("ATZ restores the echo", "e1750", {"ATE0\r", "ATZ\r", "AT\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\nAT\r\r\nOK\r\n");
    row("unknown command", "e1750", {"AT+FOO\r\n"}, "AT+FOO\r\r\nERROR\r\n");
    row("lower case and split writes", "e1750", {"at+c", "sq\r\n"}, "at+csq\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
    row("junk before AT is ignored", "e1750", {QByteArray("\x00xyzAT\r", 7)}, QByteArray("\x00xyzAT\r\r\nOK\r\n", 13));
    row("a bare CR is echoed only", "e1750", {"\r\n"}, "\r");
    row("sysinfo on the stick", "e1750", {"AT^SYSINFO\r\n"}, "AT^SYSINFO\r\r\n^SYSINFO:2,3,0,5,1,,4\r\n\r\nOK\r\n");
    row("no sysinfo on the generic modem", "generic", {"AT^SYSINFO\r\n"}, "AT^SYSINFO\r\n\r\nERROR\r\n");
    row("own number", "e1750", {"AT+CNUM\r\n"}, "AT+CNUM\r\r\n+CNUM: \"\",\"+15550001234\",145\r\n\r\nOK\r\n");
    row("imei has 15 digits", "e1750", {"AT+GSN\r\n"}, "AT+GSN\r\r\n350000112345679\r\n\r\nOK\r\n");
    row("operator", "e1750", {"AT+COPS?\r\n"}, "AT+COPS?\r\r\n+COPS: 0,0,\"SimNet\",2\r\n\r\nOK\r\n");
    row("format remembered", "e1750", {"ATE0\r", "AT+CMGF=1\r", "AT+CMGF?\r"},
        "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CMGF: 1\r\n\r\nOK\r\n");
    row("format 2 refused", "e1750", {"ATE0\r", "AT+CMGF=2\r"}, "ATE0\r\r\nOK\r\n\r\nERROR\r\n");
    row("delete of an empty slot", "e1750", {"ATE0\r", "AT+CMGD=7\r"}, "ATE0\r\r\nOK\r\n\r\n+CMS ERROR: 321\r\n");
    row("empty list", "e1750", {"ATE0\r", "AT+CMGF=1\r", "AT+CMGL=\"ALL\"\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n");
    // New-message indications: kept, shown, refused for +CMT, forgotten on ATZ.
    row("indications: set, read back, reset by ATZ", "e1750",
        {"ATE0\r", "AT+CNMI?\r", "AT+CNMI=2,1,0,0,0\r", "AT+CNMI?\r", "AT+CNMI=,,2\r", "AT+CNMI?\r", "ATZ\r",
         "AT+CNMI?\r"},
        "ATE0\r\r\nOK\r\n\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n\r\nOK\r\n\r\n+CNMI: 2,1,0,0,0\r\n\r\nOK\r\n"
        "\r\nOK\r\n\r\n+CNMI: 2,1,2,0,0\r\n\r\nOK\r\n\r\nOK\r\nAT+CNMI?\r\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
    row("indications: +CMT refused, out of range is an error", "e1750",
        {"ATE0\r", "AT+CNMI=2,2\r", "AT+CNMI=3,1\r", "AT+CNMI=?\r", "AT+CNMI?\r"},
        "ATE0\r\r\nOK\r\n\r\n+CMS ERROR: 303\r\n\r\nERROR\r\n"
        "\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK\r\n\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
    row("SIM ready: a PIN is not wanted", "e1750", {"ATE0\r", "AT+CPIN?\r", "AT+CPIN=\"1234\"\r"},
        "ATE0\r\r\nOK\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n\r\n+CME ERROR: 3\r\n");
    // Storage: the reply while nothing was chosen stays as it was; a choice outlives ATZ.
    row("storage: unchosen, chosen, kept over ATZ", "generic",
        {"ATE0\r", "AT+CPMS?\r", "AT+CPMS=\"ME\"\r", "ATZ\r", "ATE0\r", "AT+CPMS?\r"},
        "ATE0\r\r\nOK\r\n\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"
        "\r\n+CPMS: 0,50,0,20,0,20\r\n\r\nOK\r\n\r\nOK\r\nATE0\r\r\nOK\r\n"
        "\r\n+CPMS: \"ME\",0,50,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n");
    row("storage: all three, an unknown one changes nothing", "e1750",
        {"ATE0\r", "AT+CPMS=\"MT\",\"SM\",\"ME\"\r", "AT+CPMS=\"SM\",\"XX\"\r", "AT+CPMS?\r", "AT+CPMS=?\r"},
        "ATE0\r\r\nOK\r\n\r\n+CPMS: 0,130,0,30,0,100\r\n\r\nOK\r\n\r\n+CMS ERROR: 302\r\n"
        "\r\n+CPMS: \"MT\",0,130,\"SM\",0,30,\"ME\",0,100\r\n\r\nOK\r\n"
        "\r\n+CPMS: (\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\",\"MT\")\r\n\r\nOK\r\n");
}

void TestSimModem::exchanges()
{
    QFETCH(QByteArray, profile);
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, expected);
    CoreRig rig(profile);
    QByteArray out;
    for (const QByteArray& c : chunks) out += rig.feed(c);
    QCOMPARE(out, expected);
}

void TestSimModem::faults()
{
    CoreRig rig;
    rig.settings.silent = {"AT+CSQ"};
    rig.settings.error = {"at+cnum"};
    rig.settings.replies = {{"AT+COPS", "\r\n+COPS: 0\r\n\r\nOK\r\n"}};
    QCOMPARE(rig.feed("AT+CSQ\r\n"), QByteArray());  // not even the echo
    QCOMPARE(rig.feed("AT+CNUM\r\n"), QByteArray("AT+CNUM\r\r\nERROR\r\n"));
    QCOMPARE(rig.feed("AT+COPS?\r\n"), QByteArray("AT+COPS?\r\r\n+COPS: 0\r\n\r\nOK\r\n"));
    QCOMPARE(rig.feed("AT\r\n"), QByteArray("AT\r\r\nOK\r\n"));
}

void TestSimModem::textListLayout()
{
    CoreRig rig;
    const StoreFileResult r = parseStoreFile(kTwoMessages, QDateTime::currentDateTime());
    for (const StoredMessage& m : r.messages) rig.store.add(m);
    rig.feed("AT+CMGF=1\r\n");
    QCOMPARE(rig.feed("AT+CMGL=\"ALL\"\r\n"),
             QByteArray("AT+CMGL=\"ALL\"\r\r\n"
                        "+CMGL: 0,\"REC UNREAD\",\"+15550002222\",,\"17/11/19,14:05:09+00\"\r\nHello there\r\n"
                        "+CMGL: 1,\"REC UNREAD\",\"+15550003333\",,\"24/02/29,08:00:00-08\"\r\n"
                        "Tom & Jerry #1 caf\xE9\n.dot line\r\n"
                        "\r\nOK\r\n"));
    // Listing marks them read, as a modem does.
    QCOMPARE(rig.feed("AT+CMGL=\"REC UNREAD\"\r\n"), QByteArray("AT+CMGL=\"REC UNREAD\"\r\r\nOK\r\n"));
    QVERIFY(rig.feed("AT+CMGL=\"REC READ\"\r\n").contains("+CMGL: 1,\"REC READ\""));
    QVERIFY(rig.feed("AT+CMGL=\"BOGUS\"\r\n").endsWith("+CMS ERROR: 305\r\n"));
}

void TestSimModem::genericHeaderCarriesTypeAndLength()
{
    CoreRig rig("generic");
    rig.add("+15550002222", "17/11/19,14:05:09+00", "Hello there");
    rig.feed("ATE0\r");
    rig.feed("AT+CMGF=1\r");
    QCOMPARE(rig.feed("AT+CMGL=\"ALL\"\r"),
             QByteArray("\r\n+CMGL: 1,\"REC UNREAD\",\"+15550002222\",,\"17/11/19,14:05:09+00\",145,11\r\n"
                        "Hello there\r\n\r\nOK\r\n"));
}

void TestSimModem::pduListLayout()
{
    CoreRig rig;
    rig.add("+15550002222", "17/11/19,14:05:09+00", "Hello there");
    rig.add("+15550003333", "17/11/19,14:05:10+00", "Second");
    rig.store.remove(0);  // leaves index 1 alone
    rig.feed("ATE0\r\n");
    const QByteArray reply = rig.feed("AT+CMGL=4\r\n");
    static const QRegularExpression layout(R"(^\r\n\+CMGL: 1,0,,(\d+)\r\n([0-9A-F]+)\r\n\r\nOK\r\n$)");
    const auto m = layout.match(QString::fromLatin1(reply));
    QVERIFY2(m.hasMatch(), reply.constData());
    const Deliver d = decodeDeliver(m.captured(2).toLatin1());
    QCOMPARE(m.captured(1).toInt(), d.tpduLength);
    QCOMPARE(d.sender, QByteArray("+15550003333"));
    QCOMPARE(d.userData, QByteArray("Second"));
    QVERIFY(rig.feed("AT+CMGL=4\r\n").contains("+CMGL: 1,1,,"));  // now read
    QVERIFY(rig.feed("AT+CMGL=\"ALL\"\r\n").endsWith("+CMS ERROR: 304\r\n"));
}

void TestSimModem::readAndDelete()
{
    CoreRig rig;
    rig.add("+1555", "17/11/19,14:05:09+00", "one");
    rig.add("+1556", "17/11/19,14:05:09+00", "two");
    rig.feed("ATE0\rAT+CMGF=1\r");
    QCOMPARE(rig.feed("AT+CMGR=1\r"),
             QByteArray("\r\n+CMGR: \"REC UNREAD\",\"+1556\",,\"17/11/19,14:05:09+00\"\r\ntwo\r\n\r\nOK\r\n"));
    QCOMPARE(rig.feed("AT+CMGD=0\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.feed("AT+CMGR=0\r"), QByteArray("\r\n+CMS ERROR: 321\r\n"));
    QCOMPARE(rig.store.size(), 1);
    QCOMPARE(rig.feed("AT+CMGD=0,4\r"), QByteArray("\r\nOK\r\n"));  // delete all
    QCOMPARE(rig.store.size(), 0);
}

void TestSimModem::sendAcrossTwoExchanges()
{
    CoreRig rig;
    rig.feed("AT+CMGF=1\r\n");
    // The gateway writes the text in a new exchange, after the prompt's window.
    QCOMPARE(rig.feed("AT+CMGS=\"+15551112222\"\r\n"), QByteArray("AT+CMGS=\"+15551112222\"\r\r\n> "));
    QCOMPARE(rig.feed("Caf\xE9 & co\x1A"), QByteArray("Caf\xE9 & co\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    QCOMPARE(rig.core.sent().size(), 1);
    QCOMPARE(rig.core.sent()[0].to, QByteArray("+15551112222"));
    QCOMPARE(rig.core.sent()[0].text, QByteArray("Caf\xE9 & co"));
    // ESC cancels; nothing more is recorded and commands work again.
    rig.feed("AT+CMGS=\"1\"\r");
    QCOMPARE(rig.feed("abc\x1B"), QByteArray("abc\r\nOK\r\n"));
    QCOMPARE(rig.core.sent().size(), 1);
    QCOMPARE(rig.feed("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    // A refused number leaves the text and Ctrl-Z in command state: they are dropped.
    QVERIFY(rig.feed("AT+CMGS=\"\"\r\n").endsWith("+CMS ERROR: 305\r\n"));
    QCOMPARE(rig.feed("text\x1A"), QByteArray());
    QCOMPARE(rig.feed("AT\r\n"), QByteArray("AT\r\r\nOK\r\n"));
}

void TestSimModem::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("good") << QStringList{"--link", "x", "--pieces=3", "--silent", "AT+CSQ", "--cmti"} << "";
    QTest::newRow("concat switch") << QStringList{"--concat", "--link", "x"} << "";
    QTest::newRow("unknown profile") << QStringList{"--profile", "nokia"} << "e1750|generic";
    QTest::newRow("bad number") << QStringList{"--pieces", "0"} << "--pieces";
    QTest::newRow("missing value") << QStringList{"--link"} << "needs a value";
    QTest::newRow("reply without bytes") << QStringList{"--reply", "AT+CSQ"} << "--reply";
    QTest::newRow("bad escape") << QStringList{"--junk", "\\q"} << "--junk";
    QTest::newRow("sim options") << QStringList{"--sim-pin", "0042", "--sim-state=puk", "--capacity-me", "7"} << "";
    QTest::newRow("a PIN is digits") << QStringList{"--sim-pin", "12ab"} << "--sim-pin: expected 4 to 8 digits";
    QTest::newRow("unknown SIM state") << QStringList{"--sim-state", "locked"} << "ready|pin|puk";
    QTest::newRow("phone memory of none") << QStringList{"--capacity-me", "0"} << "--capacity-me";
    QTest::newRow("sending and reports")
        << QStringList{"--first-reference", "255", "--reports", "cdsi", "--report", "+1555=failed:45,10", "--no-cds",
                       "--cmgs-error", "500", "--cmgs-no-prompt", "--cmgs-silent"}
        << "";
    QTest::newRow("a reference is one octet") << QStringList{"--first-reference", "256"} << "--first-reference";
    QTest::newRow("unknown report place") << QStringList{"--reports", "outbox"} << "store|sr|cds|cdsi";
    QTest::newRow("unknown report outcome") << QStringList{"--report", "*=lost"} << "--report";
}

void TestSimModem::options()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    Options o;
    const QString got = parseOptions(args, o);
    if (error.isEmpty()) QVERIFY2(got.isEmpty(), qPrintable(got));
    else QVERIFY2(got.contains(error), qPrintable(got));
}

void TestSimModem::controlLines()
{
    Options o;
    QVERIFY(applyControlLine("silent AT+CSQ", o).isEmpty());
    QVERIFY(applyControlLine("reply AT+COPS?=\\r\\n+COPS: 0\\r\\n\\r\\nOK\\r\\n", o).isEmpty());
    QCOMPARE(o.settings.replies.value(0).second, QByteArray("\r\n+COPS: 0\r\n\r\nOK\r\n"));
    QVERIFY(!applyControlLine("link /tmp/x", o).isEmpty());  // only while starting
    QVERIFY(applyControlLine("cmti on", o).isEmpty());
    QVERIFY(applyControlLine("concat on", o).isEmpty());
    QVERIFY(o.settings.cmti && o.concat);
    QVERIFY(applyControlLine("clear", o).isEmpty());
    QVERIFY(o.settings.silent.isEmpty() && o.settings.replies.isEmpty());
    QVERIFY(o.settings.cmti && o.concat);
}

QTEST_GUILESS_MAIN(TestSimModem)

#pragma once
// Cases of a modem that misbehaves, shared by the fault tests of both links: messages with
// awkward texts, a fault applied once the program reached a command, unsolicited lines
// inside a list, texts imitating the modem's own lines, and messages arriving with junk.
#include "e2e/Scenario.h"

namespace zorvel::testing {

inline QList<Sms> messages(const QByteArray& tag, int n, int length = 0)
{
    QList<Sms> out;
    for (int i = 0; i < n; ++i) {
        QByteArray text = "Tom & Jerry #" + QByteArray::number(i) + " caf\xE9 2+2=4\nOK";
        while (text.size() < length)
            text += " 100% a=b&c";
        out.append({"+1555" + tag + QByteArray::number(i), "26/12/07,10:0" + QByteArray::number(i) + ":00+04",
                    length ? text.left(length) : text});
    }
    return out;
}

inline Scenario* modemCase(const QString& name, const QByteArray& tag, const QStringList& args, int n = 2)
{
    auto* s = new Scenario;
    s->name = name;
    s->sms = messages(tag, n);
    s->modemArgs << args;
    return s;
}

// Applies `control` to the modem once `count` commands starting with `prefix` were seen.
inline void after(Scenario* s, const QByteArray& prefix, int count, const QByteArray& control)
{
    s->steps.append({[prefix, count](Scenario& c) { return c.commands(prefix) >= count; },
                     [control](Scenario& c) { c.modemControl(control); }});
}

// The list reply for the case's one stored SMS with an unsolicited line at `where`:
// 0 before the entry, 1 between header and text, 2 between text and the final OK.
inline Scenario* unsolicitedInList(int where)
{
    static const char* names[] = {"^RSSI before the first entry", "^RSSI between header and text",
                                  "+CMTI between text and OK"};
    auto* s = new Scenario;
    s->name = names[where];
    s->sms = {{"+155509" + QByteArray::number(where), "26/12/07,09:16:40+04", "Hello there"}};
    const QByteArray header = "\\r\\n+CMGL: 0,\\\"REC UNREAD\\\",\\\"" + s->sms[0].sender
        + "\\\",,\\\"" + s->sms[0].time + "\\\"\\r\\n";
    const QByteArray urc = where == 2 ? "\\r\\n+CMTI: \\\"SM\\\",1\\r\\n" : "\\r\\n^RSSI:18\\r\\n";
    QByteArray reply = where == 0 ? urc + header + "Hello there\\r\\n" : header;
    if (where == 1)
        reply += urc + "Hello there\\r\\n";
    if (where == 2)
        reply += "Hello there\\r\\n" + urc;
    reply += "\\r\\nOK\\r\\n";
    s->modemArgs << "--reply" << QString::fromLatin1("AT+CMGL=" + reply);
    // The canned list goes away once the SMS was deleted.
    after(s, "AT+CMGD", 1, "clear\n");
    return s;
}

inline Scenario* silentDelete()
{
    Scenario* s = modemCase("no reply to AT+CMGD, once", "04", {"--silent", "AT+CMGD"});
    after(s, "AT+CMGD", 1, "clear\n");
    s->extraChecks = [](Scenario& c) {
        return c.account.failedDeletes == 1 ? QStringList() : QStringList{"expected one unanswered delete"};
    };
    return s;
}

inline Scenario* arrivingWithJunk()
{
    auto* s = new Scenario;
    s->name = "junk between exchanges, +CMTI";
    s->sms = messages("07", 2);
    s->storedAtStart = false;
    s->modemArgs << "--junk-every" << "120" << "--cmti";
    for (int i = 0; i < 2; ++i)
        s->steps.append({[i](Scenario& c) { return c.seconds() >= 3 + 17 * i; },
                         [i](Scenario& c) { c.addMessage(c.sms[i]); }});
    return s;
}

// An SMS imitating a list entry for the next slot, and one holding a blank line and "OK",
// in text mode. The receiver refuses the first for good; its imitation must never go out
// nor delete the slot it names, and the second must arrive whole.
inline Scenario* hostileTexts()
{
    auto* s = new Scenario;
    s->name = "texts imitating an entry and an OK";
    const QByteArray stamp = "26/12/07,10:00:00+04";
    s->sms = {{"+15550960", stamp, "hi, this imitates\n+CMGL: 1,\"REC UNREAD\",\"+15550969\",,\"" + stamp +
                                       "\"\nfake"},
              {"+15550961", stamp, "victim"},
              {"+15550962", stamp, "Please answer\n\nOK\nor NO"}};
    s->receiverArgs = {"--refuse-message-containing", "imitates"};
    s->expectExact = false;
    s->finished = [](Scenario& c) { return c.storeEvents("delete ") >= 2 && c.seconds() > 45; };
    s->extraChecks = [](Scenario& c) {
        const Account& a = c.account;
        if (a.arrived == 2 && a.deleted == 2 && a.deletedWithout2xx == 0 && a.lost == 0 && a.garbled == 0 &&
            a.stillStored == 1)
            return QStringList();
        return QStringList{"expected the two others forwarded whole and deleted, the refused one kept: " +
                           a.summary()};
    };
    return s;
}

// A text holding its own "OK" line, on a modem that pauses 450 ms right after that line
// in every list and read: the message must arrive whole, never cut at that line.
inline Scenario* pausedAfterTextsOk(const QString& name, const QStringList& args = {})
{
    Scenario* s = modemCase(name, "32", QStringList{"--pause-inside-text", "450"} + args, 1);
    s->sms = {{"+15550320", "26/12/07,10:00:00+04",
               "Code 1234 is for login.\n\nOK\nIf it was not you, call 555-0100 now"}};
    return s;
}

} // namespace zorvel::testing

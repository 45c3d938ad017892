#pragma once
// The poll cycle wired to a scripted modem (echo off, a text- or PDU-mode store it lists,
// reads and deletes), a fake clock and an HTTP client the test answers.
#include <algorithm>
#include <map>

#include "ReplyWindow.h"
#include "PollCycle.h"
#include "StatusPresenter.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHttp.h"
#include "fakes/FakePort.h"
#include "fakes/PduBuilder.h"

namespace zorvel::testing {

using Commands = std::vector<std::string>;

// A modem with echo off that answers the cycle's queries and keeps a text-mode store.
struct ScriptedModem {
    std::map<int, std::string> store; // index -> "+CMGL" header remainder and text lines
    std::map<std::string, std::string> silentOrOdd; // command -> reply ("" = silent)
    std::vector<std::string> deleted;                // the entries deletes removed

    std::string operator()(const std::string& written)
    {
        const auto odd = silentOrOdd.find(written);
        if (odd != silentOrOdd.end())
            return odd->second;
        if (written == "AT+CNUM\r\n")
            return "\r\n+CNUM: \"\",\"+15550001234\",145\r\n\r\nOK\r\n";
        if (written == "AT^SYSINFO\r\n")
            return "\r\n^SYSINFO:2,3,0,5,1,,4\r\n\r\nOK\r\n";
        if (written == "AT+GSN\r\n")
            return "\r\n356938035643809\r\n\r\nOK\r\n";
        if (written == "AT+CIMI\r\n")
            return "\r\n262019876543210\r\n\r\nOK\r\n";
        if (written == "AT+CSQ\r\n")
            return "\r\n+CSQ: 18,99\r\n\r\nOK\r\n";
        if (written == "AT+COPS?\r\n")
            return "\r\n+COPS: 0,0,\"SimNet\",2\r\n\r\nOK\r\n";
        if (written.starts_with("AT+CMGL")) {
            std::string reply;
            for (const auto& [index, entry] : store)
                reply += "\r\n+CMGL: " + std::to_string(index) + entry;
            return reply + "\r\n\r\nOK\r\n";
        }
        if (written.starts_with("AT+CMGR=")) {
            const auto entry = store.find(std::stoi(written.substr(8)));
            if (entry == store.end())
                return "\r\n+CMS ERROR: 321\r\n";
            return "\r\n+CMGR: " + entry->second.substr(1) + "\r\n\r\nOK\r\n";
        }
        if (written.starts_with("AT+CMGD=")) {
            const auto entry = store.find(std::stoi(written.substr(8)));
            if (entry != store.end()) {
                deleted.push_back(entry->second);
                store.erase(entry);
            }
            return "\r\nOK\r\n";
        }
        if (written.starts_with("AT+CMGS="))
            return "\r\n> ";
        if (!written.empty() && written.back() == '\x1a')
            return "\r\n+CMGS: 7\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    }
};

inline std::string textEntry(const std::string& sender, const std::string& text)
{
    return ",\"REC UNREAD\",\"" + sender + "\",,\"26/12/07,10:00:00+04\"\r\n" + text;
}

inline std::string pduEntry(const PduFields& pdu)
{
    const std::string hex = BuildPdu(pdu);
    return ",0,," + std::to_string(hex.size() / 2 - 1) + "\r\n" + hex;
}

struct Rig {
    explicit Rig(std::string pduMode = "0", bool decode = false)
        : cycle(exchange, http, clock,
                ForwardingSettings{MessageModeOf(pduMode, decode), "http://h/in", "k"})
    {
        port.respond = [this](const std::string& w) { return modem(w); };
        cycle.readOutgoingInput = [this] { return input; };
        presenter.showLink(exchange, clock);
        presenter.showReadings(cycle.readings);
    }
    // One tick, then time until the next tick.
    void tick()
    {
        cycle.tick();
        clock.advance(1000);
    }
    // Ticks until the cycle has ended (or `limit` ticks passed); returns what it wrote.
    std::vector<std::string> runCycle(int limit = 60)
    {
        const std::size_t before = port.written.size();
        tick();
        for (int i = 0; i < limit && (cycle.running() || exchange.waiting()); ++i)
            tick();
        return {port.written.begin() + static_cast<std::ptrdiff_t>(before), port.written.end()};
    }

    // Runs cycles until a request waits, answers it, and lets the cycle end; returns the
    // commands written meanwhile.
    Commands forwardAndAnswer(int status)
    {
        const std::size_t before = port.written.size();
        for (int i = 0; i < 120 && http.pending.empty(); ++i)
            tick();
        if (!http.pending.empty())
            http.answer({status, {}});
        for (int i = 0; i < 60 && cycle.running(); ++i)
            tick();
        return {port.written.begin() + static_cast<std::ptrdiff_t>(before), port.written.end()};
    }
    static Commands deletes(const Commands& written)
    {
        Commands out;
        std::copy_if(written.begin(), written.end(), std::back_inserter(out),
                     [](const std::string& c) { return c.starts_with("AT+CMGD"); });
        return out;
    }

    FakeClock clock;
    FakePort port;
    FakeHttp http;
    StatusFields fields;
    StatusPresenter presenter{fields};
    ReplyWindow exchange{port, clock, PortSettings{3, "9600,n,8,1"}};
    ScriptedModem modem;
    OutgoingInput input{"+15550009999", "Balance?"};
    PollCycle cycle;
};

} // namespace zorvel::testing

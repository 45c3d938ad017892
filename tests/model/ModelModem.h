#pragma once
// A GSM modem as the cycle meets it on the serial line: it answers the cycle's commands
// as a 3GPP TS 27.005/27.007 modem does (text and PDU format, echo on or off) from a
// message store, and delivers its bytes through the clock's timers. Per reply, a plan
// from the fuzzer's input decides how it arrives: on time; late (during the next
// command's exchange, before that command's own reply: a modem one command behind);
// never; or cut short (streamed at about a byte per millisecond, as at 9600 baud, so that
// its tail falls after the reply window). Bytes that arrive while the port is closed are
// lost, and discardInput drops what waits. A command line that is not well-formed (a
// bad index, a ';', two commands in one write) breaks the rule: a real modem would run it.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Clock.h"
#include "ModelStore.h"
#include "ModemPort.h"
#include "Trace.h"

namespace zorvel::model {

struct ReplyStyle {
    enum class Timing { OnTime, Late, Never, CutShort, PausedInText };
    Timing timing = Timing::OnTime;
    int amount = -1;   // on time: delay in ms; cut short: bytes inside the window; paused: ms
    bool fail = false; // the command fails and changes nothing (a delete keeps its slot)
    struct Unsolicited {
        std::string line;
        int before; // the reply piece it goes in front of; -1 after the final result code
    };
    std::vector<Unsolicited> unsolicited;
};

// One letter per reply: '.' on time, 'L' late, 'N' never, 'C' cut short, 'P' paused after
// a line "OK" inside a text; digits after it give the delay in ms ('.'), the bytes inside
// the window ('C'), how many replies in a row never come ('N') or the pause ('P'). In front of it, 'F' makes the command fail, and 'M', 'R', 'G' add
// an unsolicited +CMTI, ^RSSI or RING: "M0" in front of the reply, "M2" between a list's
// second and third entries, "M" after the final result code. Anything else is skipped.
std::vector<ReplyStyle> ParseReplyStyles(std::string_view tokens);

class ModelModem : public ModemPort {
public:
    ModelModem(Clock& clock, ModelStore& store, Trace& trace);

    OpenResult open(int portNumber, const std::string& settings) override;
    void discardInput() override;
    void write(const std::string& bytes) override;
    std::string readAll() override;
    void close() override;

    // Echo now and after ATZ.
    void setEcho(bool on) { echo_ = profileEcho_ = on; }
    // From the next command named `command` ("CMGL", "CMGD", "CSQ", ...; any command when
    // empty) on, one style a reply; a plan waits until the one before it has run out.
    void plan(const std::string& command, const std::vector<ReplyStyle>& styles);
    // From now on every reply on time, nothing unsolicited, nothing fails.
    void behave()
    {
        plans_.clear();
        running_.clear();
    }

private:
    using Pieces = std::vector<std::string>;
    ReplyStyle nextStyle(const std::string& name);
    // The reply to one command line (AT and CR stripped, upper case) as pieces, after
    // running it; `fail` makes it fail instead.
    Pieces run(const std::string& name, const std::string& argument, bool fail);
    Pieces list(const std::string& argument);
    Pieces read(int index);
    Pieces remove(int index);
    std::optional<std::string> malformed(const std::string& line, const std::string& name,
                                         const std::string& argument) const;
    void answer(const std::string& reply, const ReplyStyle& style, std::int64_t now);
    void schedule(std::string bytes, std::int64_t notBefore, bool streamed);
    void armTimer();
    void deliver();

    Clock& clock_;
    ModelStore& store_;
    Trace& trace_;
    std::unique_ptr<OneShotTimer> timer_;

    bool pduMode_ = false;
    bool textLengths_ = false; // AT+CSDH=1: text-mode headers end with the text's length
    bool echo_ = false;
    bool profileEcho_ = false;
    bool open_ = false;
    bool prompt_ = false; // AT+CMGS waits for its text
    std::string waiting_;
    std::string lost_; // arrived while the port was closed, for the trace
    // The serial line: bytes in the order they go out, each with its time.
    std::deque<std::pair<std::int64_t, std::string>> line_;
    std::int64_t lineFreeAt_ = 0;
    std::optional<std::string> held_; // a late reply, sent after the next command
    std::map<std::string, std::deque<std::deque<ReplyStyle>>> plans_; // by the command they start at
    std::deque<ReplyStyle> running_;
};

} // namespace zorvel::model

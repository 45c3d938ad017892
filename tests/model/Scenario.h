#pragma once
// A scenario as a small script, one instruction a line, so that seed files read plainly
// and the fuzzer's dictionary can splice hostile lines into message texts:
//   mode text|pdu|decoded         the gateway's setting (the first one counts)
//   store on                      the gateway keeps messages in its local store
//   phase <ms>                    where in the second the gateway's timer ticks
//   echo on|off                   the modem's echo, now and after ATZ
//   sms <sender>|<stamp>|<text>   a message arrives (no stamp: one from the clock)
//   part <digits>|<reference>|<count>|<sequence>|<text>
//                                 an SMS-DELIVER in UCS2; a part of a long one when count > 0
//   pdu <hex>                     a PDU exactly as the modem will list it
//   traffic <seconds>             from now on a new message every so many seconds,
//                                 arriving between cycles (0: no more)
//   modem [<command>] <styles>    how the replies arrive from the next <command> on,
//                                 one style a reply (see ParseReplyStyles)
//   web <styles>                  how the next requests are answered (see ParseWebStyles)
//   run <seconds>                 the gateway runs that long
// Texts take \r \n \t \\ \xHH (a byte) and \uHHHH (a UTF-16 unit). Lines that do not
// parse are skipped.
#include <string>
#include <string_view>
#include <vector>

#include "ModelStore.h"

namespace zorvel::model {

struct Instruction {
    enum class Kind { Echo, Sms, Part, Pdu, Traffic, Modem, Web, Run };
    Kind kind = Kind::Run;
    std::string sender, stamp; // sms, part
    std::u16string units;      // sms and part texts: a byte or an escape each
    std::string word;          // pdu: the hex; modem: the command named
    std::string styles;        // modem, web
    int reference = -1, count = 0, sequence = 0;
    int number = 0;            // run, traffic: seconds; echo: on
};

struct Scenario {
    Mode mode = Mode::Text;
    bool store = false;
    bool fastLink = false; // the held link: the port kept open, replies ending at their result
    int phaseMs = 0;
    std::vector<Instruction> steps;
};

Scenario ParseScenario(std::string_view script);

// The message an instruction stores, in the shapes the modem shows in text and in PDU
// format. `clockStamp` is the time stamp when the instruction gives none.
StoredMessage MessageFor(const Instruction& step, Mode mode, const std::string& clockStamp);

} // namespace zorvel::model

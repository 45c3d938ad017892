#include "PollCycle.h"

namespace zorvel {

PollCycle::PollCycle(CommandExchange& exchange, StatusFields& fields)
    : exchange_(exchange), fields_(fields)
{
}

void PollCycle::tmrMain_Timer()
{
    if (fields_.text(Field::txtReady) == "READY") {
        // Stand-in until the full cycle lands: one signal query per open gate.
        exchange_.SendCommand("AT+CSQ\r\n", [] {});
    }
    fields_.setText(Field::txtCounter, "Msgs: " + std::to_string(txtCount));
}

} // namespace zorvel

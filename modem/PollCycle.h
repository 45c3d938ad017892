#pragma once
// What each tick of the one-second timer does with the modem. A tick only starts work
// when txtReady reads exactly "READY"; every tick ends by showing the forwarded count.
#include <cstdint>

#include "CommandExchange.h"
#include "StatusFields.h"

namespace zorvel {

class PollCycle {
public:
    PollCycle(CommandExchange& exchange, StatusFields& fields);

    void tmrMain_Timer();

    std::int32_t txtCount = 0;
    bool SendFlag = false;
    bool StartupFlag = true;

private:
    CommandExchange& exchange_;
    StatusFields& fields_;
};

} // namespace zorvel

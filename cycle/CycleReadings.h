#pragma once
// What set-up and the cycle learn about the modem and the messages, for whoever shows
// it. Plain data, in the modem's bytes as decoded; every hook may be left empty.
#include <cstdint>
#include <functional>
#include <string>

#include "StatusDecoders.h"

namespace zorvel {

struct CycleReadings {
    // The first cycle's identity queries.
    std::function<void(const std::string&)> ownNumber;
    std::function<void(const std::string&)> networkSummary;
    std::function<void(const std::string&)> imei;
    std::function<void(const std::string&)> imsi;
    // The status queries.
    std::function<void(const SignalBars&)> signal;
    std::function<void(const std::string&)> operatorName;
    // The message the cycle is on: its sender and time line, and its text shortened.
    std::function<void(const std::string& stamp, const std::string& text)> message;
    // Why the last message did not go out; empty once one went.
    std::function<void(const std::string& why)> notForwarded;
    // At every tick: messages forwarded since start, and those waiting in the store.
    std::function<void(std::int32_t forwarded, int waiting)> count;
    // The SIM cannot be used without a person: nothing is started again.
    std::function<void()> simStopped;
};

} // namespace zorvel

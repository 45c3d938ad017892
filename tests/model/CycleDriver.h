#pragma once
// Runs the gateway's real poll cycle (command exchange, inbox decoding, forwarding
// queue) against the model modem and the model web application on a fake clock: first
// the scenario's hostile phase, then a well-behaved modem and a web application that
// always answers 200 until every stored message must have been forwarded and deleted.
// The rule is checked as it happens: at every delete the modem runs, every 2xx, every
// command line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Scenario.h"

namespace zorvel::model {

struct Outcome {
    bool ok = true;
    std::string report; // the rule broken and the events before it
    std::string events; // the last events of the run, broken or not
    std::int64_t seconds = 0; // fake time the run took
};

Outcome RunScenario(const Scenario& scenario);
Outcome RunScript(std::string_view script);

// How long a well-behaved modem and web application may take to see `stored` messages
// forwarded and deleted.
std::int64_t LivenessBoundSeconds(std::size_t stored);

} // namespace zorvel::model

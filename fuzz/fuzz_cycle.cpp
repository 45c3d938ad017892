// The real poll cycle (command exchange, inbox decoding, forwarding queue) against the
// model modem and web application of tests/model/. The input is a scenario script
// (tests/model/Scenario.h): messages, hostile texts, how each reply and each answer
// arrives, how long the gateway runs. Properties, checked as things happen:
// - every AT+CMGD that removes a stored message removes one whose whole content a 2xx
//   answer carried before;
// - no message is accepted twice while it stays stored (two stored copies count as one);
// - every command line is well-formed (index of 1 to 5 digits, no ';', one line a write);
// - once the modem behaves and the web application answers 200, every stored message is
//   forwarded and deleted within the bound of LivenessBoundSeconds().
// FUZZ_CYCLE_TRACE=1 prints the last events of every run.
#include <cstdio>
#include <cstdlib>

#include "Check.h"
#include "CycleDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto outcome =
        zorvel::model::RunScript(std::string_view(reinterpret_cast<const char*>(data), size));
    if (std::getenv("FUZZ_CYCLE_TRACE"))
        std::fprintf(stderr, "%s(%lld s of fake time)\n", outcome.events.c_str(),
                     static_cast<long long>(outcome.seconds));
    if (!outcome.ok) {
        std::fprintf(stderr, "%s", outcome.report.c_str());
        fuzz::Fail("the cycle broke the rule (report above)");
    }
    return 0;
}

#pragma once
// Writes what the link and the cycle report into the window's display record: the texts
// and colours the window shows, in the order they have always changed in.
#include "Clock.h"
#include "CycleReadings.h"
#include "Exchange.h"
#include "StatusFields.h"

namespace zorvel {

class StatusPresenter {
public:
    explicit StatusPresenter(StatusFields& fields) : fields_(fields) {}

    // The link's state (txtReady), the time it was last seen working (txtLastCheck) and
    // the modem's reply (txtStatus). `clock` gives the time stamps.
    void showLink(Exchange& exchange, Clock& clock);
    // The identity, the signal and operator, the message at hand, the count, and "SIM"
    // once the SIM stopped the polling.
    void showReadings(CycleReadings& readings);

    void showLinkState(LinkState state);
    void showSignal(const SignalBars& signal);
    void showCount(std::int32_t forwarded, int waiting);

private:
    StatusFields& fields_;
};

} // namespace zorvel

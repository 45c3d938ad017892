#pragma once
// The first cycle's block, run once at start and again whenever the held link was
// reopened: reset, the SIM's PIN when asked for, message format, storage, announcements,
// then own number, network summary, IMEI and IMSI for the window. Without a PIN= line,
// a Storage= choice or the held link it is the reset, format and identity queries alone.
#include <functional>
#include <optional>
#include <string>

#include "CycleEvents.h"
#include "CycleReadings.h"
#include "Exchange.h"
#include "SimReplies.h"

namespace zorvel {

struct SetupSettings {
    std::string formatCommand = "AT+CMGF=1\r\n";
    bool askPin = false;  // a PIN= line, or the held link
    std::string pin;      // empty: none configured
    std::string storage;  // "SM", "ME", "MT", or empty for the modem's own choice
    bool announce = false; // ask for "+CMTI" announcements (held link)
    // Ask for each text's length in list and read headers ("AT+CSDH=1"; held link, text
    // mode), so that a reply ends where its texts do.
    bool textLengths = false;
};

// Why polling stops for good: the SIM cannot be used without a person.
struct SimStop {
    enum class Reason { NoPinConfigured, PinRefused, PukNeeded, OtherLock };
    Reason reason;
    std::string state; // as the modem named it ("SIM PIN")
};

class ModemSetup {
public:
    ModemSetup(Exchange& exchange, SetupSettings settings);

    // Runs the block; `done` follows its last reply. On a SIM that cannot be used,
    // onSimStopped runs instead and nothing more is sent.
    void run(std::function<void()> done);

    std::function<void(const SimStop&)> onSimStopped;
    CycleEvents* events = nullptr;
    CycleReadings* readings = nullptr;

    // The chosen storage's fill as the modem gave it; nothing without a Storage= choice.
    const std::optional<StorageFill>& storageFill() const { return fill_; }

private:
    enum class Step {
        Reset, PinQuery, PinEntry, PinCheck, Format, TextLengths, Storage, Announce, AnnounceFallback,
        OwnNumber, NetworkSummary, Imei, Imsi,
    };
    void send(Step step);
    void replyArrived(Step step);
    void pinQueried(const PinState& state);
    void pinChecked(const PinState& state);
    void afterPin();
    void afterFormat();
    void afterStorage();
    void stop(SimStop::Reason reason, const std::string& state);
    void notice(const std::string& what);
    void warning(const std::string& what);
    void read(std::function<void(const std::string&)> CycleReadings::*hook, const std::string& value);

    Exchange& exchange_;
    SetupSettings settings_;
    std::function<void()> done_;
    std::optional<StorageFill> fill_;
    bool pinSent_ = false;     // sent in this run
    bool pinAccepted_ = false; // the SIM took it: it may be given again after a modem reset
    int pinChecks_ = 0;
};

} // namespace zorvel

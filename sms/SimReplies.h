#pragma once
// The SIM's lock state (AT+CPIN?) and the message storage's fill (AT+CPMS), read from
// the reply bytes alone, and the PIN kept out of everything a person reads.
#include <optional>
#include <string>

namespace zorvel {

struct PinState {
    enum class Kind {
        Ready,       // "+CPIN: READY"
        SimPin,      // "+CPIN: SIM PIN": the PIN is asked for
        SimPuk,      // "+CPIN: SIM PUK": three wrong PINs, the PUK is asked for
        OtherLock,   // any other code that blocks the SIM ("PH-SIM PIN", "SIM PUK2"...)
        Unanswered,  // no "+CPIN:" line: an error ("SIM not inserted") or nothing
    };
    Kind kind = Kind::Unanswered;
    std::string shown; // the state or the error as the modem gave it, escaped, the PIN hidden
};

// "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n" -> SimPin. The modem's echo is not read.
PinState DecodePinState(const std::string& reply);

// The reply's final result code, escaped, the PIN hidden: "OK", "+CME ERROR: 16"; empty
// when none came.
std::string FinalResultOf(const std::string& reply);

struct StorageFill {
    int used = 0;
    int total = 0;
};

// "\r\n+CPMS: 3,30,3,30,3,30\r\n\r\nOK\r\n" -> 3 of 30: the first area, where the list
// and the deletes look. Nothing when the reply has no such line or it is not numbers.
std::optional<StorageFill> DecodeStorageFill(const std::string& reply);

// The PIN of the configuration, set once it is read (empty: none). Process-wide, as the
// log's message handler needs it too.
void SetPinToHide(const std::string& pin);

// Every run of digits that is exactly the configured PIN becomes "<hidden>"; digits next
// to it make it part of another number (an IMEI, a phone number), which stays.
std::string HidePinDigits(const std::string& text);

// Every "+CPIN=" up to its line's end becomes "+CPIN=<hidden>", and the configured PIN
// wherever HidePinDigits finds it: commands and replies (the modem echoes the command,
// some quote it in an error) pass through this before a log or the window sees them.
std::string HidePin(const std::string& text);

} // namespace zorvel

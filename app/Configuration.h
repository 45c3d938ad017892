#pragma once
// The settings of zorvel.ini, read once at start-up and never written.
#include <cstdint>
#include <optional>
#include <string>

#include "Forwarder.h"
#include "MessageMode.h"

namespace zorvel {

struct Configuration {
    std::string iniPath;        // full path of the file that was read
    std::int16_t COMport = 0;   // "COM": serial port number
    std::string COMspeed;       // "Speed": line settings, unchanged ("9600,n,8,1")
    std::string Dest;           // "Dest": forwarding address, unchanged
    std::string SecKey;         // "Key": shared key, the file's bytes unchanged
    std::string StartMinimised; // "StartMinimised": only exactly "1" starts minimised
    std::string PDUmode;        // "PDUmode" as read: always "0" (text mode) or "1" (PDU mode)
    bool Decode = false;        // "Decode" as read: only exactly "1" decodes PDUs and joins long messages
    MessageMode Mode = MessageMode::Text; // the two above, settled: what everything else uses
    int MultipartWait = 10;     // "MultipartWait": minutes a long message waits for its parts
    bool Store = false;         // "Store": "1" keeps every message in zorvel.sqlite until accepted
    bool FastLink = false;      // "Link": "fast" holds the port open; "design" or none: a port per command
    bool AskPin = false;        // a "PIN" line, even an empty one: the SIM's state is asked
    std::string PIN;            // "PIN": 4 to 8 digits, or empty
    std::string Storage;        // "Storage": "SM", "ME" or "MT"; empty: the modem's choice
    // Sending (SendKeys.h); any of these needs Store=1 and Decode=1.
    std::string OutboxUrl;      // "OutboxUrl": where the messages to send are fetched; empty: not fetched
    int OutboxPoll = 30;        // "OutboxPoll": seconds between two fetches, 5 to 3600
    int SendTries = 5;          // "SendTries": tries of a message the modem refuses, 1 to 100
    int SendPerMinute = 6;      // "SendPerMinute": parts a minute at most, 0 for no cap
    int SendPerDay = 0;         // "SendPerDay": parts a day at most, 0 for no cap
    int SendMaxParts = 10;      // "SendMaxParts": parts a message may have, 1 to 255
};

struct ConfigurationResult {
    std::optional<Configuration> config; // set when start-up may go on
    std::string error;                   // otherwise: the message box text
};

// Reads `folder`/zorvel.ini. A missing file or an unusable "COM" is an error whose
// message names the file's full path, the key, the value found and what is expected.
// Other missing keys read as empty text; PDUmode is "1" only for exactly "1". A
// MultipartWait that is not a whole number of minutes (0 to 10080) is an error too, so is
// a Store other than "0" or "1", and
// so is a Dest that is not empty and not a usable http or https address (DestProblem),
// and so are the sending keys' mistakes (SendKeys.h).
ConfigurationResult LoadConfiguration(const std::string& folder);

// What forwarding takes from the file: the mode, Dest, Key and MultipartWait.
ForwardingSettings ForwardingSettingsOf(const Configuration& c);

} // namespace zorvel

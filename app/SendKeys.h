#pragma once
// The keys of sending SMS: OutboxUrl (where the web application's messages to send are
// fetched), OutboxPoll, SendTries, SendPerMinute, SendPerDay and SendMaxParts. Each is
// optional; without any of them nothing about the program changes. Sending keeps every
// message in zorvel.sqlite and reads status reports as PDUs, so it needs Store=1 and Decode=1.
#include <optional>
#include <string>

namespace zorvel {

class IniFile;
struct Configuration;

// Fills the sending settings of `config` (its Store and Decode already read) from `ini`,
// or gives the message that names the file, the key and what is wrong or missing.
std::optional<std::string> ReadSendKeys(const IniFile& ini, Configuration& config);

// What sending lacks in `config`: "Store=1", "Decode=1", both joined by "and", or empty.
std::string MissingForSending(const Configuration& config);

} // namespace zorvel

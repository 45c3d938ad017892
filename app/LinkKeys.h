#pragma once
// The keys of the link to the modem: Link (the held link), PIN (the SIM's PIN) and
// Storage (where the modem keeps messages). Each is optional; without them the link
// works as it always has.
#include <optional>
#include <string>

namespace zorvel {

class IniFile;
struct Configuration;

// Fills the link's settings of `config` from `ini`, or gives the message that names the
// file, the key and what is wrong. A PIN is never quoted back.
std::optional<std::string> ReadLinkKeys(const IniFile& ini, Configuration& config);

} // namespace zorvel

#include "LinkKeys.h"

#include <algorithm>

#include "ByteEscape.h"
#include "ConfigFailure.h"
#include "Configuration.h"
#include "IniFile.h"
#include "modGeneral.h"

namespace zorvel {

namespace {

constexpr const char* sectionName = configSection;

std::string Failure(const std::string& what, const std::string& path, const char* key,
                    const std::string& found, const std::string& expected)
{
    return ConfigFailure(what + " is unusable", path, key, found, expected);
}

bool IsPin(const std::string& text)
{
    return text.size() >= 4 && text.size() <= 8 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<std::string> ReadLinkKeys(const IniFile& ini, Configuration& c)
{
    if (const auto link = ini.Value(sectionName, "Link")) {
        const std::string value = TrimAtNull(*link);
        if (value != "design" && value != "fast")
            return Failure("the way of talking to the modem", c.iniPath, "Link",
                           "\"" + EscapeBytes(value) + "\"",
                           "fast to keep the port open and hear new messages at once (the line "
                           "Link=fast), design or no such line to open the port for each command.");
        c.FastLink = value == "fast";
    }
    if (const auto pin = ini.Value(sectionName, "PIN")) {
        const std::string value = TrimAtNull(*pin);
        if (!value.empty() && !IsPin(value))
            return Failure("the SIM's PIN", c.iniPath, "PIN",
                           "a value of " + std::to_string(value.size()) +
                               " characters, not shown (a PIN stays out of every message)",
                           "4 to 8 digits, such as PIN=1234, or PIN= with nothing after it to "
                           "check the SIM without entering a PIN.");
        c.AskPin = true;
        c.PIN = value;
    }
    if (const auto storage = ini.Value(sectionName, "Storage")) {
        const std::string value = TrimAtNull(*storage);
        if (value != "SM" && value != "ME" && value != "MT")
            return Failure("the modem's message storage", c.iniPath, "Storage",
                           "\"" + EscapeBytes(value) + "\"",
                           "SM (the SIM), ME (the modem's own memory) or MT (both), such as "
                           "Storage=SM, or no such line to leave the modem's choice.");
        c.Storage = value;
    }
    return std::nullopt;
}

} // namespace zorvel

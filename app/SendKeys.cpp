#include "SendKeys.h"

#include "ByteEscape.h"
#include "ConfigFailure.h"
#include "Configuration.h"
#include "DestAddress.h"
#include "IniFile.h"
#include "modGeneral.h"

namespace zorvel {

namespace {

constexpr const char* sectionName = configSection;

struct NumberKey {
    const char* key;
    int Configuration::*field;
    int lowest;
    int highest;
    const char* what;     // "the ... is unusable"
    const char* meaning;  // the expected value's words, before ", such as"
    const char* absent;   // what no line means
    const char* example;
};

const NumberKey numberKeys[] = {
    {"OutboxPoll", &Configuration::OutboxPoll, 5, 3600, "the time between two looks at the outbox address",
     "whole seconds from 5 to 3600", "30 seconds", "60"},
    {"SendTries", &Configuration::SendTries, 1, 100, "the number of tries of an SMS the modem refuses",
     "a whole number from 1 to 100", "5 tries", "3"},
    {"SendPerMinute", &Configuration::SendPerMinute, 0, 600, "the cap on SMS parts sent a minute",
     "a whole number of parts from 0 (no cap) to 600", "6 a minute", "10"},
    {"SendPerDay", &Configuration::SendPerDay, 0, 100000, "the cap on SMS parts sent a day",
     "a whole number of parts from 0 (no cap) to 100000", "no cap", "500"},
    {"SendMaxParts", &Configuration::SendMaxParts, 1, 255, "the most parts a message to send may have",
     "a whole number from 1 to 255", "10 parts", "4"},
};

std::optional<int> ParseWhole(const std::string& text, int lowest, int highest)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

std::string NumberFailure(const NumberKey& k, const std::string& path, const std::string& found)
{
    const std::string example = k.example;
    return ConfigFailure(std::string(k.what) + " is unusable", path, k.key, "\"" + EscapeBytes(found) + "\"",
                         std::string(k.meaning) + ", such as " + example + " (the line " + k.key + "=" +
                             example + "), or no such line for " + k.absent + ".");
}

std::string UrlFailure(const std::string& path, const std::string& found, const std::string& problem)
{
    return ConfigFailure("the web address that gives the messages to send is unusable", path, "OutboxUrl",
                         "\"" + EscapeBytes(found) + "\", " + problem,
                         "an http or https address with a host name, such as "
                         "https://example.org/sms/outbox.php (the line OutboxUrl=https://example.org/sms/outbox.php); "
                         "a '#' or a blank in it written as %23 or %20.");
}

} // namespace

std::string MissingForSending(const Configuration& c)
{
    if (!c.Store && !c.Decode)
        return "Store=1 and Decode=1";
    if (!c.Store)
        return "Store=1";
    if (!c.Decode)
        return "Decode=1";
    return {};
}

std::optional<std::string> ReadSendKeys(const IniFile& ini, Configuration& c)
{
    const char* firstKey = nullptr;
    std::string firstValue;
    if (const auto url = ini.Value(sectionName, "OutboxUrl")) {
        firstKey = "OutboxUrl";
        firstValue = TrimAtNull(*url);
        if (const std::optional<std::string> problem = DestProblem(firstValue))
            return UrlFailure(c.iniPath, firstValue, *problem);
        c.OutboxUrl = firstValue;
    }
    for (const NumberKey& k : numberKeys) {
        const auto line = ini.Value(sectionName, k.key);
        if (!line)
            continue;
        const std::string value = TrimAtNull(*line);
        const std::optional<int> number = ParseWhole(value, k.lowest, k.highest);
        if (!number)
            return NumberFailure(k, c.iniPath, value);
        c.*k.field = *number;
        if (firstKey == nullptr) {
            firstKey = k.key;
            firstValue = value;
        }
    }
    const std::string missing = MissingForSending(c);
    if (firstKey != nullptr && !missing.empty())
        return ConfigFailure("sending SMS needs " + missing, c.iniPath, firstKey,
                             "\"" + EscapeBytes(firstValue) + "\", while " + missing + " is missing",
                             "Store=1 and Decode=1 in section [" + std::string(sectionName) +
                                 "] as well (the messages to send are kept in zorvel.sqlite, and their "
                                 "status reports are read as PDUs), or no OutboxUrl and Send* lines.");
    return std::nullopt;
}

} // namespace zorvel

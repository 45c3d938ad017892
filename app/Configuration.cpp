#include "Configuration.h"

#include "ByteEscape.h"
#include "ConfigFailure.h"
#include "DestAddress.h"
#include "IniFile.h"
#include "LinkKeys.h"
#include "PortNumber.h"
#include "SendKeys.h"
#include "modGeneral.h"

namespace zorvel {

namespace {

constexpr const char* sectionName = configSection;

std::string PortSettingFailure(const std::string& path, const std::string& found)
{
    return ConfigFailure("the serial port number in its settings is missing or unusable", path, "COM",
                         found, "a port number such as 3 (the line COM=3 in section [" +
                                    std::string(sectionName) + "]).");
}

std::string DescribeMissingPort(const IniFile& ini)
{
    switch (ini.status()) {
    case IniFile::Status::Missing:
        return "none, the file does not exist";
    case IniFile::Status::Unreadable:
        return "none, the file cannot be read (" + ini.problem() + ")";
    case IniFile::Status::Read:
        break;
    }
    if (!ini.HasSection(sectionName))
        return std::string("none, the file has no section [") + sectionName + "]";
    return "none, the key is missing";
}

constexpr int longestMultipartWait = 7 * 24 * 60; // a week, in minutes

std::optional<int> ParseMinutes(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int minutes = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        minutes = minutes * 10 + (c - '0');
    }
    if (minutes > longestMultipartWait)
        return std::nullopt;
    return minutes;
}

std::string MultipartWaitFailure(const std::string& path, const std::string& found)
{
    return ConfigFailure("the waiting time for the parts of a long message is unusable", path,
                         "MultipartWait", "\"" + found + "\"",
                         "whole minutes from 0 to " + std::to_string(longestMultipartWait) +
                             ", such as 10 (the line MultipartWait=10), or no such line for 10 minutes.");
}

std::string DestFailure(const std::string& path, const std::string& found, const std::string& problem)
{
    return ConfigFailure("the web address that receives the messages is unusable", path, "Dest",
                         "\"" + EscapeBytes(found) + "\", " + problem,
                         "an http or https address with a host name, such as "
                         "https://example.org/sms/receive.php (the line Dest=https://example.org/sms/receive.php); "
                         "a '#' or a blank in it written as %23 or %20.");
}

std::string StoreFailure(const std::string& path, const std::string& found)
{
    return ConfigFailure("the choice of keeping messages on disk is unusable", path, "Store",
                         "\"" + EscapeBytes(found) + "\"",
                         "1 to keep every message in zorvel.sqlite until the web application "
                         "accepts it (the line Store=1), 0 or no such line to forward straight from the modem.");
}

// The values used to pass through one NUL-filled buffer, so a NUL byte in the file
// ends the value there; a missing key reads as empty text.
std::string ReadText(const IniFile& ini, const char* key)
{
    return TrimAtNull(ini.Value(sectionName, key).value_or(std::string()));
}

} // namespace

ConfigurationResult LoadConfiguration(const std::string& folder)
{
    ConfigurationResult result;
    Configuration c;
    c.iniPath = folder + "/zorvel.ini";
    const IniFile ini = IniFile::Load(c.iniPath);

    const std::optional<std::string> com = ini.Value(sectionName, "COM");
    if (!com) {
        result.error = PortSettingFailure(c.iniPath, DescribeMissingPort(ini));
        return result;
    }
    const std::string comText = TrimAtNull(*com);
    const std::optional<std::int16_t> port = ParsePortNumber(comText);
    if (!port) {
        result.error = PortSettingFailure(c.iniPath, "\"" + comText + "\"");
        return result;
    }
    c.COMport = *port;
    c.COMspeed = ReadText(ini, "Speed");
    c.Dest = ReadText(ini, "Dest");
    // An empty Dest starts as always: every forwarding fails and the messages stay.
    if (!c.Dest.empty()) {
        if (const std::optional<std::string> problem = DestProblem(c.Dest)) {
            result.error = DestFailure(c.iniPath, c.Dest, *problem);
            return result;
        }
    }
    c.SecKey = ReadText(ini, "Key");
    c.StartMinimised = ReadText(ini, "StartMinimised");
    c.PDUmode = ReadText(ini, "PDUmode") == "1" ? "1" : "0";
    c.Decode = ReadText(ini, "Decode") == "1";
    c.Mode = MessageModeOf(c.PDUmode, c.Decode);
    if (ini.Value(sectionName, "MultipartWait")) {
        const std::string wait = ReadText(ini, "MultipartWait");
        const std::optional<int> minutes = ParseMinutes(wait);
        if (!minutes) {
            result.error = MultipartWaitFailure(c.iniPath, wait);
            return result;
        }
        c.MultipartWait = *minutes;
    }
    if (ini.Value(sectionName, "Store")) {
        const std::string store = ReadText(ini, "Store");
        if (store != "0" && store != "1") {
            result.error = StoreFailure(c.iniPath, store);
            return result;
        }
        c.Store = store == "1";
    }
    if (std::optional<std::string> problem = ReadLinkKeys(ini, c)) {
        result.error = std::move(*problem);
        return result;
    }
    if (std::optional<std::string> problem = ReadSendKeys(ini, c)) {
        result.error = std::move(*problem);
        return result;
    }
    result.config = std::move(c);
    return result;
}

ForwardingSettings ForwardingSettingsOf(const Configuration& c)
{
    return {c.Mode, c.Dest, c.SecKey, std::int64_t{c.MultipartWait} * 60 * 1000};
}

} // namespace zorvel

#pragma once
// One layout for every reason zorvel.ini stops the start, so the operator always sees
// where to look, what was there and what to write instead.
#include <string>

namespace zorvel {

inline constexpr const char* configSection = "Zorvel";

// `problem`: "the SIM's PIN is unusable"; `found` as it is to be shown (quoted, escaped
// or described); `expected` a whole sentence.
inline std::string ConfigFailure(const std::string& problem, const std::string& path, const char* key,
                                 const std::string& found, const std::string& expected)
{
    return "Zorvel cannot start: " + problem + ".\n\n"
           "File: " + path + "\n"
           "Section: [" + configSection + "]\n"
           "Key: " + key + "\n"
           "Value found: " + found + "\n"
           "Expected: " + expected;
}

} // namespace zorvel

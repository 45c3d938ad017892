#pragma once
// A property that failed is a finding like any sanitizer report: say which, then abort
// so libFuzzer keeps the input as a crash artifact.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

inline void Require(bool ok, const char* what)
{
    if (!ok)
        Fail(what);
}

inline std::string Bytes(const unsigned char* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Every output a decoder shows is made of input bytes: it must be found in them.
inline bool Within(const std::string& part, const std::string& whole)
{
    return whole.find(part) != std::string::npos;
}

inline bool HasControlByte(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) <= 30)
            return true;
    return false;
}

} // namespace fuzz

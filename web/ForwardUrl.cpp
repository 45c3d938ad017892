#include "ForwardUrl.h"

#include <algorithm>

namespace zorvel {

namespace {
bool unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

// Each byte `kept` does not take goes out as %XX.
template <typename Kept>
std::string percentEncoded(const std::string& bytes, Kept kept)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (kept(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0x0F];
        }
    }
    return encoded;
}
} // namespace

std::string PercentEncode(const std::string& bytes)
{
    return percentEncoded(bytes, unreserved);
}

std::string RequestTarget(const std::string& address)
{
    // The authority follows "scheme://" and ends at the path, the query or the fragment.
    std::size_t start = 0;
    if (const std::size_t colon = address.find(':');
        colon != std::string::npos && address.compare(colon + 1, 2, "//") == 0)
        start = colon + 3;
    start = std::min(address.find_first_of("/?#", start), address.size());
    const std::string rest = address.substr(start, address.find('#', start) - start);

    // Only what a request line cannot carry is encoded: blanks, control bytes, non-ASCII.
    return (rest.starts_with('/') ? "" : "/") +
           percentEncoded(rest, [](unsigned char c) { return c > ' ' && c < 0x7F; });
}

std::string WithQuery(const std::string& address, const QueryValues& values)
{
    // Joined to a query the address already holds, never a second '?'.
    std::string url = address;
    const char* joint = "?";
    if (address.find('?') != std::string::npos)
        joint = address.ends_with('?') || address.ends_with('&') ? "" : "&";
    for (const auto& [name, value] : values) {
        url += joint + PercentEncode(name) + '=' + PercentEncode(value);
        joint = "&";
    }
    return url;
}

std::string BuildForwardUrl(const std::string& dest, const std::string& key,
                            const std::string& sender, const std::string& stamp,
                            const std::string& text)
{
    return WithQuery(dest, {{"key", key}, {"sender", sender}, {"time", stamp}, {"message", text}});
}

} // namespace zorvel

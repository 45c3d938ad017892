// Percent-encoding and the forwarding address on arbitrary bytes. The input's first
// three lines are key, sender and time stamp, the rest (LFs included) the message.
// Properties: the encoding decodes back to the very bytes, holds only unreserved
// characters and %XX, never encodes an unreserved byte, and is at most 3x the input;
// the address holds one '?' and splits back into exactly the four values after Dest's
// own query, whatever Dest (one of four shapes, picked by the input's length); and the
// request target is the address after its host, unchanged, with no blank or control byte.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "Check.h"
#include "ForwardUrl.h"

using namespace zorvel;
using fuzz::Require;

namespace {

bool Unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '.' || c == '_' || c == '~';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower case is allowed by RFC 3986 but we always write upper case
}

// Strict decoder: nothing but unreserved bytes and %XX; an encoded unreserved byte fails.
std::optional<std::string> Decode(const std::string& encoded)
{
    std::string bytes;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<unsigned char>(encoded[i]);
        if (Unreserved(c)) {
            bytes += char(c);
            continue;
        }
        if (c != '%' || i + 2 >= encoded.size())
            return std::nullopt;
        const int high = HexValue(encoded[i + 1]), low = HexValue(encoded[i + 2]);
        if (high < 0 || low < 0 || Unreserved(static_cast<unsigned char>(high * 16 + low)))
            return std::nullopt;
        bytes += char(high * 16 + low);
        i += 2;
    }
    return bytes;
}

void CheckEncoding(const std::string& bytes)
{
    const std::string encoded = PercentEncode(bytes);
    Require(encoded.size() >= bytes.size() && encoded.size() <= 3 * bytes.size(), "encoding size out of bounds");
    const auto decoded = Decode(encoded);
    Require(decoded.has_value(), "encoding holds a character other than unreserved or %XX");
    Require(*decoded == bytes, "encoding does not decode back to the input");
}

std::vector<std::string> Split(const std::string& text, char separator, std::size_t maxParts)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator && parts.size() < maxParts)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    CheckEncoding(input);

    std::vector<std::string> values = Split(input, '\n', 4);
    values.resize(4);
    // Dest and what joins the values to it.
    static const std::pair<std::string, std::string> dests[] = {
        {"http://127.0.0.1:8080/sms/in.php", "?"},
        {"http://127.0.0.1:8080/sms/in.php?src=modem", "&"},
        {"https://example.org/in?", ""},
        {"https://example.org/in?a=1&", ""},
    };
    const auto& [dest, joint] = dests[size % 4];
    const std::string url = BuildForwardUrl(dest, values[0], values[1], values[2], values[3]);
    Require(url.starts_with(dest + joint), "address does not start with Dest and its joint");
    Require(std::count(url.begin(), url.end(), '?') == 1, "address without '?' or with a second one");

    // What a receiver's query parser sees: four name=value pairs in order.
    const std::vector<std::string> pairs = Split(url.substr(dest.size() + joint.size()), '&', 99);
    Require(pairs.size() == 4, "query does not hold exactly four pairs");
    const char* names[] = {"key", "sender", "time", "message"};
    for (std::size_t k = 0; k < 4; ++k) {
        const std::vector<std::string> nameValue = Split(pairs[k], '=', 99);
        Require(nameValue.size() == 2 && nameValue[0] == names[k], "pair without its name or with a second '='");
        Require(Decode(nameValue[1]) == values[k], "value does not decode back to its bytes");
    }

    const std::string target = RequestTarget(url);
    Require(url.ends_with(target), "request target is not the address after its host");
    Require(std::none_of(target.begin(), target.end(),
                         [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }),
            "request target holds a byte no request line may");
    return 0;
}

// What the operator types, UTF-8 to Latin-1, on arbitrary bytes: never longer than the
// input, and any Latin-1 text written as UTF-8 comes back byte for byte.
#include <cstdint>

#include "Check.h"
#include "OutgoingMessage.h"

using namespace zorvel;
using fuzz::Require;

namespace {

// Latin-1 bytes are code points U+0000..U+00FF: one or two UTF-8 bytes each.
std::string Latin1AsUtf8(const std::string& latin1)
{
    std::string utf8;
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            utf8 += ch;
        } else {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    const std::string latin1 = Utf8ToLatin1(input);
    Require(latin1.size() <= input.size(), "Latin-1 text longer than the UTF-8 typed");
    Require(!latin1.empty() || input.empty(), "typed text vanished");

    Require(Utf8ToLatin1(Latin1AsUtf8(input)) == input, "Latin-1 text written as UTF-8 does not come back");
    return 0;
}

#pragma once
// Where a text-mode reply ends, told by the lengths the modem writes into its headers
// once asked with "AT+CSDH=1": "+CMGL: 1,\"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\",145,23"
// or "+CMGR: \"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\",145,4,0,0,\"+1555000\",145,23".
// A message's text may hold any line, "OK" among them; only its length tells where it
// ends, so a modem that pauses right after such a line cannot end the reply there.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvel {

struct TextHeader {
    std::string line;                  // the header as without the parameters
    std::optional<std::size_t> length; // the text's length in bytes, when given
};

// A list or read header split into the header a modem writes without the text
// parameters and the text's length (the last parameter). A header without them, or with
// anything but plain numbers and quoted values after the time stamp, stays as it is.
TextHeader SplitTextParameters(const std::string& line);

enum class TextFrame {
    Whole,      // every header's text is here and the final result code follows the last
    Incomplete, // a text, or the final result code after it, is still to come
    Unframed,   // a header without a length, or lengths that do not fit the reply
};

// The reply of a text-mode list or read, from the echo on.
TextFrame FrameTextReply(std::string_view reply);

// The reply as a modem writes it without the text parameters, for decoders that know
// headers without them: each header the lengths frame loses them or, where the lengths
// do not frame the reply, the first read header and every line that reads as a list
// header.
std::string WithoutTextParameters(const std::string& reply);

} // namespace zorvel

// The status report decoder on arbitrary input, read two ways: as the hex line a modem
// prints, and as PDU bytes written out in hex (so mutations reach the fields behind the
// hex check). No crash, no sanitizer report; the same result twice and for either case
// of the hex digits; reference and status within one octet and in exactly one class;
// the time stamps of the yy/MM/dd,hh:mm:ss+zz shape; the recipient valid UTF-8 of at most
// 20 digits or 11 characters; the words for any status printable ASCII ending in its value.
#include <cctype>
#include <cstdint>

#include "Check.h"
#include "ValidUtf8.h"
#include "StatusReport.h"
#include "SmsDeliver.h"

using namespace zorvel;
using fuzz::Require;
using fuzz::ValidUtf8;

namespace {

bool Printable(const std::string& s)
{
    for (char c : s)
        if (c < 0x20 || c > 0x7E)
            return false;
    return !s.empty();
}

// "yy/MM/dd,hh:mm:ss+zz", each digit a hex digit (a damaged stamp keeps the shape).
bool StampShape(const std::string& s)
{
    static constexpr char kShape[] = "XX/XX/XX,XX:XX:XX+XX";
    if (s.size() != sizeof kShape - 1)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (kShape[i] == 'X') {
            if (!std::isxdigit(static_cast<unsigned char>(s[i])) || std::islower(static_cast<unsigned char>(s[i])))
                return false;
        } else if (kShape[i] == '+') {
            if (s[i] != '+' && s[i] != '-')
                return false;
        } else if (s[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

bool Same(const std::optional<StatusReport>& a, const std::optional<StatusReport>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a
        || (a->reference == b->reference && a->recipient == b->recipient && a->submitted == b->submitted
            && a->discharged == b->discharged && a->status == b->status);
}

void CheckText(int status)
{
    const std::string text = StatusReportText(status);
    Require(Printable(text) && text.back() == ')', "status words not printable or without their value");
}

void Check(const std::string& hex)
{
    std::string why;
    const std::optional<StatusReport> report = DecodeStatusReport(hex, &why);
    Require(report.has_value() == why.empty(), "whyNot set for a report, or missing for a refusal");
    Require(Same(report, DecodeStatusReport(hex)), "decoding the same line twice differs");
    std::string flipped = hex;
    for (char& c : flipped)
        c = std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(static_cast<unsigned char>(c)))
                                                        : char(std::toupper(static_cast<unsigned char>(c)));
    Require(Same(report, DecodeStatusReport(flipped)), "the case of the hex digits changed the result");
    if (!report)
        return;

    // SMSC length, first octet, reference, address length and type, 2 stamps, status.
    Require(hex.size() % 2 == 0 && hex.size() >= 2 * 19, "decoded a line too short for any status report");
    Require(report->reference >= 0 && report->reference <= 255, "reference beyond one octet");
    Require(report->status >= 0 && report->status <= 255, "status beyond one octet");
    Require(int(report->delivered()) + int(report->stillTrying()) + int(report->failed()) == 1,
            "status not in exactly one class");
    Require(StampShape(report->submitted) && StampShape(report->discharged),
            "time stamp not of the yy/MM/dd,hh:mm:ss+zz shape");
    Require(ValidUtf8(report->recipient) && report->recipient.size() <= 3 * 11,
            "recipient not valid UTF-8 or longer than 20 digits or 11 characters");
    CheckText(report->status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    Check(input);
    Check(HexDigits(input));
    if (size >= 4) {
        int value = 0;
        for (int i = 0; i < 4; ++i)
            value = static_cast<int>(static_cast<unsigned>(value) << 8 | data[i]);
        CheckText(value);
    }
    return 0;
}

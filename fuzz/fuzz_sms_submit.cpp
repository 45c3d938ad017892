// The outgoing SMS encoder on arbitrary input as UTF-8 text, and the recipient check on
// the input as typed. No crash, no sanitizer report; counting and building agree; a
// refusal has its reason and no parts, and refuses only empty text, invalid UTF-8 or too
// many parts; every part's hex is 2 + 2 * tpduLength upper-case digits of an SMS-SUBMIT
// with status report, at most 140 octets of user data, the concatenation header of a
// long text numbering the parts, and no part but the last with room for the next
// character; the parts read back (through the received-SMS decoder) join to the text; no
// more parts than allowed. An accepted recipient is "+" and 1 to 20 digits, or digits.
#include <cstdint>

#include "Check.h"
#include "SmsDeliver.h"
#include "SmsSubmit.h"
#include "test_sms_submit_reread.h"

using namespace zorvel;
using fuzz::Require;

namespace {

void CheckRecipientShape(const std::string& typed)
{
    std::string why;
    const std::optional<std::string> number = CheckRecipient(typed, &why);
    Require(number.has_value() == why.empty(), "recipient: whyNot set for a number, or missing for a refusal");
    if (!number)
        return;
    std::string_view digits = *number;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    Require(!digits.empty() && digits.size() <= 20, "recipient without digits or over 20");
    for (char c : digits)
        Require(c >= '0' && c <= '9', "recipient holds more than digits");
}

void CheckPlan(const std::string& text, int maxParts, int reference)
{
    const std::string recipient = "+4915550001234";
    const SubmitPlan plan = BuildSubmitParts(recipient, text, maxParts, reference);
    const SubmitPlan counted = CountSubmitParts(text, maxParts);
    Require(plan.partCount == counted.partCount && plan.whyNot == counted.whyNot && counted.parts.empty(),
            "counting and building differ");
    if (!plan.whyNot.empty()) {
        Require(plan.parts.empty() && plan.partCount == 0, "a refused text has parts");
        Require(text.empty() || plan.whyNot == "the text is not valid UTF-8"
                    || plan.whyNot.rfind("the text needs ", 0) == 0,
                "refused for another reason than empty text, invalid UTF-8 or too many parts");
        return;
    }
    Require(plan.partCount >= 1 && plan.partCount <= maxParts && plan.partCount <= 255,
            "more parts than allowed");
    Require(static_cast<int>(plan.parts.size()) == plan.partCount, "part count and parts differ");
    Require(plan.coding == counted.coding, "counting and building chose another coding");

    const bool gsm7 = plan.coding == SubmitCoding::Gsm7;
    const bool long_ = plan.partCount > 1;
    std::u16string joined;
    for (int i = 0; i < plan.partCount; ++i) {
        const SubmitPart& part = plan.parts[static_cast<std::size_t>(i)];
        Require(part.hex.size() == 2 + 2 * static_cast<std::size_t>(part.tpduLength),
                "hex length is not 2 + 2 * tpduLength");
        const std::optional<reread::SubmitRead> read = reread::ReadSubmitPart(part.hex);
        Require(read.has_value(), "a part does not read back as an SMS-SUBMIT");
        Require(read->firstOctet == (long_ ? 0x61 : 0x21) && read->messageReference == 0 && read->pid == 0
                    && read->dcs == (gsm7 ? 0x00 : 0x08),
                "first octet, reference, PID or DCS wrong");
        Require(read->recipient == recipient && read->addressType == 0x91, "recipient changed");
        Require(read->userDataOctets <= 140 && read->udl <= (gsm7 ? 160 : 140), "user data beyond one SMS");
        Require(read->decoded.concat.has_value() == long_, "concatenation header where it does not belong");
        if (long_) {
            const ConcatInfo& c = *read->decoded.concat;
            Require(!c.sixteenBit && c.reference == (reference & 0xFF) && c.count == plan.partCount
                        && c.sequence == i + 1,
                    "concatenation header does not number the parts");
            // A part but the last is full: one more character (at most two septets or
            // units) would not fit.
            const int size = gsm7 ? read->udl - 7 : (read->udl - 6) / 2;
            if (i + 1 < plan.partCount)
                Require(size >= (gsm7 ? 152 : 66), "a part left room for the next character");
        }
        joined += read->decoded.units;
    }
    Require(Utf16ToUtf8(joined) == text, "the parts do not join back to the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    CheckRecipientShape(input);
    // Room for every text the fuzzer makes, and a small limit that refuses some.
    CheckPlan(input, 255, static_cast<int>(size % 256));
    CheckPlan(input, 2, 0);
    return 0;
}

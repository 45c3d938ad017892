// The web application's outbox answer, on arbitrary bytes (the first byte picks the most
// parts allowed). Properties: at most 100 messages offered, ids unique; every one passes
// the checks the outbox makes at entry (the id's characters, the recipient as
// CheckRecipient gives it back, a text whose count of parts is the one offered and
// allowed); every reason is one printable line.
#include <cstdint>
#include <set>

#include "Check.h"
#include "OutboxAnswer.h"
#include "SmsSubmit.h"

using namespace zorvel;
using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int maxParts = 1 + data[0] % 10;
    const std::string body = fuzz::Bytes(data + 1, size - 1);
    const OutboxOffer offer = ReadOutboxAnswer(body, maxParts);

    Require(offer.messages.size() <= outboxAnswerMostEntries, "more than 100 messages offered");
    std::set<std::string> ids;
    for (const OfferedMessage& m : offer.messages) {
        Require(IsOutboxId(m.id), "an offered id is no id");
        Require(ids.insert(m.id).second, "an id offered twice");
        Require(CheckRecipient(m.recipient) == m.recipient, "an offered recipient does not pass");
        const SubmitPlan plan = CountSubmitParts(m.text, maxParts);
        Require(plan.partCount >= 1 && plan.partCount == m.parts && m.parts <= maxParts,
                "an offered text does not fit its parts");
    }
    // (An escape could spell "messages" without the word showing.)
    if (offer.messages.empty() && body.find("messages") == std::string::npos && body.find('\\') == std::string::npos)
        Require(offer.problems.size() == 1, "an answer without messages gave other than one reason");
    for (const std::string& problem : offer.problems)
        Require(!problem.empty() && !fuzz::HasControlByte(problem), "a reason is not one printable line");
    return 0;
}

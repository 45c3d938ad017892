#pragma once
// The messages a list holds, each entry as it was listed or, in decoded mode, decoded
// from its PDU, and the parts of a long message joined: it goes when all parts are
// listed, or, once it has waited longer than the limit, with "[...]" for each part still
// missing. The same message stored twice goes once, and both entries are deleted after
// the 2xx. Memory only.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "InboxDecoder.h"
#include "ListedMessage.h"
#include "MessageKey.h"
#include "SmsDeliver.h"

namespace zorvel {

struct ListedEntry {
    const InboxEntry* entry;
    std::optional<SmsDeliver> sms; // decoded mode only, when the PDU is an SMS-DELIVER
};

struct JoinedCandidate {
    ListedMessage message;
    bool ready = true; // false: a long message still waiting for its parts
};

class LongMessageJoin {
public:
    // `format`: how content is compared with a read of the slot.
    LongMessageJoin(std::int64_t multipartWaitMs, MessageFormat format);

    // The messages of `entries` in list order (a long message where its first part is
    // listed); `notices` gets a line for a long message first seen waiting.
    std::vector<JoinedCandidate> candidates(std::vector<ListedEntry>& entries, bool listWhole,
                                            std::int64_t nowMs, std::vector<std::string>& notices);
    // The web application took it: its wait ends, and a part listed later is a message
    // of its own.
    void accepted(const ListedMessage& message);
    // A whole list no longer holds these keys (entries and long messages).
    void keepOnly(const std::set<MessageKey>& listed);

private:
    std::int64_t multipartWaitMs_;
    MessageFormat format_;
    std::map<MessageKey, std::int64_t> firstSeen_; // long message -> first listed
    std::deque<MessageKey> forwardedIncomplete_;   // long messages sent with "[...]"
};

} // namespace zorvel

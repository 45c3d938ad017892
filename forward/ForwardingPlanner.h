#pragma once
// Which message a cycle forwards, out of everything the modem listed, and what this run
// remembers between cycles so that every message goes out whole and once. Three parts
// do the work: the join (each entry as listed or decoded, the parts of a long message
// together, see LongMessageJoin.h), the turns (see MessageTurns.h), and here the memory
// of accepted messages: one whose delete failed is only deleted when it is listed again,
// not forwarded a second time. Memory only: a restart forgets it.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "InboxDecoder.h"
#include "ListedMessage.h"
#include "LongMessageJoin.h"
#include "MessageKey.h"
#include "MessageTurns.h"

namespace zorvel {

// An entry accepted in an earlier cycle whose delete did not take: deleted, not sent again.
struct PlannedDelete {
    std::string index;
    EntryKey entryKey;
};

struct CyclePlan {
    // Entries of messages accepted in an earlier cycle whose delete failed: delete only.
    std::vector<PlannedDelete> deleteAgain;
    std::optional<ListedMessage> forward;
    // Something worth a log line: a long message waiting for its parts.
    std::vector<std::string> notices;
    // For debug level: why a listed PDU did not decode.
    std::vector<std::string> details;
    // An entry the reply window cut off (only the last can be): shown, not forwarded.
    std::optional<InboxEntry> cutShort;
};

class ForwardingPlanner {
public:
    // `decode`: entries are PDUs to decode and join; otherwise each entry is a message as
    // the modem listed it. `multipartWaitMs`: how long a long message waits for its parts.
    // `format`: how content is compared with a read of the slot (PDU when decoding).
    ForwardingPlanner(bool decode, std::int64_t multipartWaitMs,
                    MessageFormat format = MessageFormat::Text);

    CyclePlan plan(const InboxList& list, std::int64_t nowMs);
    void accepted(const ListedMessage& message);
    // Returns how long the message now waits before its next try: 0 after its first
    // failure (its next turn), then 30 s, doubling up to 10 minutes.
    std::int64_t refused(const ListedMessage& message, std::int64_t nowMs);

    // A slot read on its own holds this content, which the web application accepted.
    bool holdsAccepted(const ContentKey& content) const;
    // The entry listed as accepted turned out not to hold accepted content: it is a
    // message like any other again.
    void forgetAccepted(const EntryKey& entryKey);

private:
    void forget(const std::vector<ListedEntry>& entries);

    bool decode_;
    MessageFormat format_;
    LongMessageJoin join_;
    MessageTurns turns_;
    std::map<EntryKey, ContentKey> acceptedEntries_; // entry -> its content, delete pending
};

} // namespace zorvel

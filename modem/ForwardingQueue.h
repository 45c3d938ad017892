#pragma once
// Which message a cycle forwards, out of everything the modem listed, and what this run
// remembers between cycles so that every message goes out whole and once:
// - decoded PDU mode joins the parts of a long message, and forwards it when all parts
//   are listed, or, once it has waited longer than the limit, with "[...]" for each part
//   still missing;
// - a message whose forwarding failed lets the next listed message go first next cycle,
//   so one the web application refuses cannot hold up the rest;
// - a message the web application accepted but whose delete failed is only deleted when
//   it is listed again, not forwarded a second time;
// - a message whose forwarding failed again and again waits longer between tries
//   (doubling, up to 10 minutes); the others keep their turns.
// Memory only: a restart forgets it.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "InboxDecoder.h"

namespace zorvel {

// One message to forward: a single entry, or the parts of a long one.
struct ListedMessage {
    std::string sender, stamp, text; // what the request carries
    std::string lblSMSstamp, lblSMS; // what the window shows
    std::string listedSender, listedTime; // text mode: the list header's, to check a read by
    std::vector<std::string> indexes; // every entry to delete after a 2xx, duplicates too
    int parts = 1;                    // parts joined (missing ones not counted)
    std::size_t textLength = 0;       // characters of the text (UTF-8 decoded)

    // Internal: what identifies it from cycle to cycle.
    std::string key;                  // the entry, or the long message's sender/reference/count
    std::vector<std::string> entryKeys;
    // What each entry holds, as a read of its slot shows it: accepted content is what a
    // delete checks the slot for. Parallel to entryKeys.
    std::vector<std::string> contentKeys;
    bool partsMissing = false;
};

// An entry accepted in an earlier cycle whose delete did not take: deleted, not sent again.
struct PlannedDelete {
    std::string index;
    std::string entryKey;
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

class ForwardingQueue {
public:
    // `decode`: entries are PDUs to decode and join; otherwise each entry is a message as
    // the modem listed it. `multipartWaitMs`: how long a long message waits for its parts.
    // `format`: how content is compared with a read of the slot (PDU when decoding).
    ForwardingQueue(bool decode, std::int64_t multipartWaitMs,
                    MessageFormat format = MessageFormat::Text);

    CyclePlan plan(const InboxList& list, std::int64_t nowMs);
    void accepted(const ListedMessage& message);
    // Returns how long the message now waits before its next try: 0 after its first
    // failure (its next turn), then 30 s, doubling up to 10 minutes.
    std::int64_t refused(const ListedMessage& message, std::int64_t nowMs);

    // A slot read on its own holds this content, which the web application accepted.
    bool holdsAccepted(const std::string& contentKey) const;
    // The entry listed as accepted turned out not to hold accepted content: it is a
    // message like any other again.
    void forgetAccepted(const std::string& entryKey);

private:
    struct Listed;
    struct Candidate;
    std::vector<Candidate> candidates(std::vector<Listed>& entries, bool listWhole,
                                      std::int64_t nowMs, std::vector<std::string>& notices);
    void forget(const std::vector<Listed>& entries);

    struct Backoff {
        int failures = 0;
        std::int64_t notBeforeMs = 0;
    };

    bool decode_;
    std::int64_t multipartWaitMs_;
    MessageFormat format_;
    std::map<std::string, std::string> acceptedEntries_; // entry key -> its content, delete pending
    std::map<std::string, Backoff> backoff_;            // message key -> failures so far
    std::map<std::string, std::int64_t> firstSeen_;  // long message key -> first listed
    std::deque<std::string> forwardedIncomplete_;    // long messages sent with "[...]"
    std::optional<std::string> resumeAfter_;         // key of the message that just failed
};

} // namespace zorvel

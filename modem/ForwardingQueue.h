#pragma once
// Which message a cycle forwards, out of everything the modem listed, and what this run
// remembers between cycles so that every message goes out whole and once:
// - decoded PDU mode joins the parts of a long message, and forwards it when all parts
//   are listed, or, once it has waited longer than the limit, with "[...]" for each part
//   still missing;
// - a message whose forwarding failed lets the next listed message go first next cycle,
//   so one the web application refuses cannot hold up the rest;
// - a message the web application accepted but whose delete failed is only deleted when
//   it is listed again, not forwarded a second time.
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
    std::vector<std::string> indexes; // every entry to delete after a 2xx, duplicates too
    int parts = 1;                    // parts joined (missing ones not counted)
    std::size_t textLength = 0;       // characters of the text (UTF-8 decoded)

    // Internal: what identifies it from cycle to cycle.
    std::string key;                  // the entry, or the long message's sender/reference/count
    std::vector<std::string> entryKeys;
    bool partsMissing = false;
};

struct CyclePlan {
    // Entries of messages accepted in an earlier cycle whose delete failed: delete only.
    std::vector<std::string> deleteAgain;
    std::optional<ListedMessage> forward;
    // Something worth a log line: a long message waiting for its parts.
    std::vector<std::string> notices;
    // An entry the reply window cut off (only the last can be): shown, not forwarded.
    std::optional<InboxEntry> cutShort;
};

class ForwardingQueue {
public:
    // `decode`: entries are PDUs to decode and join; otherwise each entry is a message as
    // the modem listed it. `multipartWaitMs`: how long a long message waits for its parts.
    ForwardingQueue(bool decode, std::int64_t multipartWaitMs);

    CyclePlan plan(const InboxList& list, std::int64_t nowMs);
    void accepted(const ListedMessage& message);
    void refused(const ListedMessage& message);

private:
    struct Listed;
    struct Candidate;
    std::vector<Candidate> candidates(std::vector<Listed>& entries, bool listWhole,
                                      std::int64_t nowMs, std::vector<std::string>& notices);
    void forget(const std::vector<Listed>& entries);

    bool decode_;
    std::int64_t multipartWaitMs_;
    std::set<std::string> acceptedEntries_;          // entry keys accepted, delete pending
    std::map<std::string, std::int64_t> firstSeen_;  // long message key -> first listed
    std::deque<std::string> forwardedIncomplete_;    // long messages sent with "[...]"
    std::optional<std::string> resumeAfter_;         // key of the message that just failed
};

} // namespace zorvel

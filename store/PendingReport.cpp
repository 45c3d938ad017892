#include "PendingReport.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "ByteEscape.h"
#include "ListingTable.h"
#include "SqliteStore.h"

namespace zorvel {

namespace {

using Row = ListingRow;

// A long message's key names its sender second ("long", sender, reference, count); any
// other key is shown whole.
std::string senderOfKey(const std::string& key)
{
    const std::string prefix = "long\x1f";
    if (key.compare(0, prefix.size(), prefix) != 0)
        return key;
    const std::size_t end = key.find('\x1f', prefix.size());
    return key.substr(prefix.size(), end == std::string::npos ? std::string::npos : end - prefix.size());
}

std::string messageTable(const std::vector<WaitingMessage>& messages, std::int64_t nowMs)
{
    std::vector<Row> rows{{"id", "received", "sender", "parts", "tries", "next try", "last failure"}};
    for (const WaitingMessage& waiting : messages)
        rows.push_back({EscapeBytes(waiting.message.id), ListingTime(waiting.receivedMs),
                        EscapeBytes(waiting.message.sender), std::to_string(waiting.message.parts),
                        std::to_string(waiting.tries),
                        waiting.nextTryMs <= nowMs ? "now" : ListingTime(waiting.nextTryMs),
                        EscapeBytes(waiting.lastFailure)});
    return ListingTable(rows);
}

std::string partTable(const std::vector<StoredPart>& parts)
{
    struct Group {
        std::string key;
        std::vector<int> sequences;
        int count = 0;
        std::int64_t firstMs = std::numeric_limits<std::int64_t>::max();
    };
    std::vector<Group> groups; // in the order their first part came
    for (const StoredPart& stored : parts) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.key == stored.part.longKey; });
        if (group == groups.end())
            group = groups.insert(groups.end(), Group{stored.part.longKey, {}, stored.part.count});
        group->sequences.push_back(stored.part.sequence);
        group->firstMs = std::min(group->firstMs, stored.receivedMs);
    }
    std::vector<Row> rows{{"sender", "parts", "first received"}};
    for (Group& group : groups) {
        std::sort(group.sequences.begin(), group.sequences.end());
        std::string listed;
        for (int sequence : group.sequences)
            listed += (listed.empty() ? "" : ", ") + std::to_string(sequence);
        rows.push_back({EscapeBytes(senderOfKey(group.key)),
                        listed + " of " + std::to_string(group.count), ListingTime(group.firstMs)});
    }
    return ListingTable(rows);
}

} // namespace

PendingListing ListPending(const std::string& folder, std::int64_t nowMs)
{
    PendingListing listing;
    struct stat info;
    if (::lstat((folder + "/zorvel.sqlite").c_str(), &info) != 0) {
        listing.output = "No store in " + EscapeBytes(folder) + " (zorvel.sqlite not found).\n";
        return listing;
    }
    StoreOpening opening = SqliteStore::openForReading(folder);
    std::vector<WaitingMessage> messages;
    std::vector<StoredPart> parts;
    if (opening.outcome == StoreOpening::Outcome::Ready) {
        messages = opening.store->waiting(std::numeric_limits<std::size_t>::max());
        if (opening.store->problem().empty())
            parts = opening.store->parts();
        opening.text = opening.store->problem();
    }
    if (!opening.text.empty()) {
        listing.unreadable = true;
        listing.error = opening.text + '\n';
        return listing;
    }
    if (messages.empty() && parts.empty()) {
        listing.output = "No messages waiting.\n";
        return listing;
    }
    listing.output = messages.empty() ? "No messages waiting.\n" : messageTable(messages, nowMs);
    if (!parts.empty())
        listing.output += "\nParts of long messages waiting to be joined:\n" + partTable(parts);
    return listing;
}

} // namespace zorvel

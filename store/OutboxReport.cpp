#include "OutboxReport.h"

#include <sys/stat.h>

#include <limits>
#include <vector>

#include "ByteEscape.h"
#include "ListingTable.h"
#include "SqliteOutbox.h"

namespace zorvel {

namespace {

std::string outboxTable(const std::vector<OutboxMessage>& messages, std::int64_t nowMs)
{
    std::vector<ListingRow> rows{{"id", "recipient", "parts", "sent", "reported", "state", "added", "changed",
                                  "next try", "tries", "last error"}};
    for (const OutboxMessage& m : messages) {
        std::string nextTry = "-";
        if (m.state == OutboxState::Queued)
            nextTry = m.nextTryMs <= nowMs ? "now" : ListingTime(m.nextTryMs);
        rows.push_back({EscapeBytes(m.id), EscapeBytes(m.recipient), std::to_string(m.parts),
                        std::to_string(m.partsSent), std::to_string(m.partsReported),
                        std::string(OutboxStateName(m.state)), ListingTime(m.createdMs), ListingTime(m.changedMs),
                        nextTry, std::to_string(m.tries), EscapeBytes(m.lastError)});
    }
    return ListingTable(rows);
}

} // namespace

PendingListing ListOutbox(const std::string& folder, std::int64_t nowMs)
{
    PendingListing listing;
    struct stat info;
    if (::lstat((folder + "/zorvel.sqlite").c_str(), &info) != 0) {
        listing.output = "No store in " + EscapeBytes(folder) + " (zorvel.sqlite not found).\n";
        return listing;
    }
    OutboxOpening opening = SqliteOutbox::openForReading(folder);
    std::vector<OutboxMessage> messages;
    if (opening.outcome == OutboxOpening::Outcome::Ready) {
        messages = opening.outbox->list(std::numeric_limits<std::size_t>::max());
        opening.text = opening.outbox->problem();
    }
    if (!opening.text.empty()) {
        listing.unreadable = true;
        listing.error = opening.text + '\n';
        return listing;
    }
    listing.output = messages.empty() ? "No outgoing messages.\n" : outboxTable(messages, nowMs);
    return listing;
}

} // namespace zorvel

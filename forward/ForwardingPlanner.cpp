#include "ForwardingPlanner.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageText.h"
#include "SmsDeliver.h"

namespace zorvel {

ForwardingPlanner::ForwardingPlanner(bool decode, std::int64_t multipartWaitMs, MessageFormat format)
    : decode_(decode), format_(decode ? MessageFormat::Pdu : format),
      join_(multipartWaitMs, format_)
{
}

CyclePlan ForwardingPlanner::plan(const InboxList& list, std::int64_t nowMs)
{
    CyclePlan plan;
    // Each entry decoded once, for forgetting and for choosing alike.
    std::vector<ListedEntry> listed;
    for (const InboxEntry& entry : list.entries) {
        std::string whyNot;
        listed.push_back({&entry, decode_ ? DecodeSmsDeliver(entry.text, &whyNot) : std::nullopt});
        if (decode_ && !listed.back().sms && entry.complete)
            plan.details.push_back("index " + EscapeBytes(entry.index) + " is no SMS to decode (" +
                                   whyNot + "): forwarded as its PDU");
    }
    // An entry cut short shows a shortened text, so its key is not the message's: such a
    // list cannot show that an accepted message is gone (forgetting it then sent it twice).
    const bool anyCutShort = std::any_of(list.entries.begin(), list.entries.end(),
                                         [](const InboxEntry& e) { return !e.complete; });
    if (list.whole && !anyCutShort)
        forget(listed);

    std::vector<ListedEntry> pending;
    for (ListedEntry& item : listed) {
        const InboxEntry& entry = *item.entry;
        if (!entry.complete) {
            plan.cutShort = entry;
        } else if (acceptedEntries_.count(EntryKey(entry))) {
            if (!entry.index.empty())
                plan.deleteAgain.push_back({entry.index, EntryKey(entry)});
        } else {
            pending.push_back(std::move(item));
        }
    }

    std::vector<JoinedCandidate> all = join_.candidates(pending, list.whole, nowMs, plan.notices);
    std::vector<MessageKey> keys;
    std::vector<bool> ready;
    for (const JoinedCandidate& c : all) {
        keys.push_back(c.message.key);
        ready.push_back(c.ready);
    }
    if (const std::optional<std::size_t> turn = turns_.next(keys, ready, nowMs))
        plan.forward = std::move(all[*turn].message);
    return plan;
}

// Everything a whole list no longer holds: deleted, by us or by someone else.
void ForwardingPlanner::forget(const std::vector<ListedEntry>& entries)
{
    std::set<MessageKey> listed;
    for (const auto& [entry, sms] : entries) {
        listed.insert(EntryKey(*entry));
        if (IsLongMessagePart(sms))
            listed.insert(LongMessageKey(*sms));
    }
    // A late "OK" of another command reads as an empty list: what was accepted is cleared
    // only by a list with entries, since its delete may not have taken.
    if (!entries.empty())
        std::erase_if(acceptedEntries_, [&](const auto& item) { return !listed.count(item.first); });
    join_.keepOnly(listed);
    turns_.keepOnly(listed);
}

void ForwardingPlanner::accepted(const ListedMessage& message)
{
    for (const ListedMessage::Entry& entry : message.entries)
        acceptedEntries_[entry.listed] = entry.content;
    join_.accepted(message);
    turns_.accepted(message.key);
}

std::int64_t ForwardingPlanner::refused(const ListedMessage& message, std::int64_t nowMs)
{
    return turns_.refused(message.key, nowMs);
}

bool ForwardingPlanner::holdsAccepted(const ContentKey& content) const
{
    return std::any_of(acceptedEntries_.begin(), acceptedEntries_.end(),
                       [&](const auto& item) { return item.second == content; });
}

void ForwardingPlanner::forgetAccepted(const EntryKey& entryKey)
{
    acceptedEntries_.erase(entryKey);
}

} // namespace zorvel

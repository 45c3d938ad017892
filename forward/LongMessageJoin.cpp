#include "LongMessageJoin.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageText.h"

namespace zorvel {

namespace {

constexpr std::size_t rememberedIncomplete = 1000;

} // namespace

LongMessageJoin::LongMessageJoin(std::int64_t multipartWaitMs, MessageFormat format)
    : multipartWaitMs_(multipartWaitMs), format_(format)
{
}

std::vector<JoinedCandidate> LongMessageJoin::candidates(std::vector<ListedEntry>& entries, bool listWhole,
                                                         std::int64_t nowMs,
                                                         std::vector<std::string>& notices)
{
    struct Part {
        const InboxEntry* entry;
        SmsDeliver sms;
    };
    struct LongMessage {
        std::size_t position; // of its first listed part among the candidates
        std::map<int, std::vector<Part>> parts; // sequence -> entries (duplicates listed twice)
    };
    std::vector<JoinedCandidate> out;
    std::map<LongMessageKey, LongMessage> longMessages;
    std::map<EntryKey, std::size_t> singles; // key -> position, for an entry listed twice

    for (auto& [entry, sms] : entries) {
        if (IsLongMessagePart(sms)) {
            const LongMessageKey key(*sms);
            const bool lateForIts = std::find(forwardedIncomplete_.begin(), forwardedIncomplete_.end(),
                                              key) != forwardedIncomplete_.end();
            if (!lateForIts) {
                auto [it, fresh] = longMessages.try_emplace(key, LongMessage{out.size(), {}});
                if (fresh)
                    out.emplace_back(); // filled in below, once every part is known
                it->second.parts[sms->concat->sequence].push_back(Part{entry, std::move(*sms)});
                continue;
            }
            // A part that turns up after its message went out without it: a message of its own.
        }
        const EntryKey key(*entry);
        if (const auto twin = singles.find(key); twin != singles.end()) {
            // The same message stored twice: forwarded once, both deleted after the 2xx.
            if (!entry->index.empty())
                out[twin->second].message.indexes.push_back(entry->index);
            continue;
        }
        singles.emplace(key, out.size());
        JoinedCandidate c;
        if (sms) {
            c.message = DecodedMessage(*sms, TextUnits(*sms));
        } else {
            // Text mode, plain PDU mode, or a PDU that is no SMS-DELIVER we can read: as listed.
            c.message.sender = entry->sender;
            c.message.stamp = entry->stamp;
            c.message.text = entry->text;
            c.message.shownStamp = entry->shownStamp;
            c.message.shownText = entry->shownText;
            c.message.textLength = Utf8Characters(entry->text);
        }
        c.message.key = key;
        c.message.entries = {{key, ContentKey(*entry, format_)}};
        if (!entry->index.empty())
            c.message.indexes = {entry->index};
        out.push_back(std::move(c));
    }

    for (auto& [key, longMessage] : longMessages) {
        const SmsDeliver& first = longMessage.parts.begin()->second.front().sms;
        const int count = first.concat->count;
        const bool allThere = static_cast<int>(longMessage.parts.size()) == count;
        const auto [seen, fresh] = firstSeen_.try_emplace(key, nowMs);
        // A list the reply window cut short may only seem to lack parts.
        const bool waitedEnough = listWhole && nowMs - seen->second > multipartWaitMs_;

        JoinedCandidate& c = out[longMessage.position];
        std::map<int, SmsDeliver> firstCopies;
        for (const auto& [sequence, copies] : longMessage.parts) {
            const std::u16string partUnits = TextUnits(copies.front().sms);
            for (const Part& copy : copies) {
                // A copy is the same part stored twice only when it says the same; another
                // text under the same sender, reference and number stays for a turn of its own.
                if (TextUnits(copy.sms) != partUnits)
                    continue;
                c.message.entries.push_back({EntryKey(*copy.entry), ContentKey(*copy.entry, format_)});
                if (!copy.entry->index.empty())
                    c.message.indexes.push_back(copy.entry->index);
            }
            firstCopies.emplace(sequence, copies.front().sms);
        }
        ListedMessage joined = JoinedMessage(firstCopies, count);
        joined.indexes = std::move(c.message.indexes);
        joined.entries = std::move(c.message.entries);
        joined.partsMissing = !allThere;
        joined.key = key;
        c.message = std::move(joined);
        c.ready = allThere || waitedEnough;
        if (fresh && !c.ready)
            notices.push_back("long message from " + EscapeBytes(first.sender) + " waiting for its parts: " +
                              std::to_string(longMessage.parts.size()) + " of " +
                              std::to_string(count) + " listed");
    }
    return out;
}

void LongMessageJoin::accepted(const ListedMessage& message)
{
    firstSeen_.erase(message.key);
    if (message.partsMissing) {
        forwardedIncomplete_.push_back(message.key);
        if (forwardedIncomplete_.size() > rememberedIncomplete)
            forwardedIncomplete_.pop_front();
    }
}

void LongMessageJoin::keepOnly(const std::set<MessageKey>& listed)
{
    std::erase_if(firstSeen_, [&](const auto& item) { return !listed.count(item.first); });
    // A long message sent without some parts: once none of its parts is listed, its
    // reference is free again (references repeat, and some senders always use the same).
    std::erase_if(forwardedIncomplete_, [&](const MessageKey& k) { return !listed.count(k); });
}

} // namespace zorvel

#include "ForwardingQueue.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageRead.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

constexpr std::size_t shownCharacters = 30;
constexpr std::size_t rememberedIncomplete = 1000;
constexpr std::int64_t firstBackoffMs = 30'000;
constexpr std::int64_t longestBackoffMs = 10 * 60'000;
const std::u16string missingPart = u"[...]";

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters of UTF-8 text (code points; an emoji is one). Bytes that are not UTF-8
// (Latin-1 from a modem in text mode) count one each.
std::size_t characters(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuation(c); }));
}

// The first 30 characters and "...", never cutting a character in two.
std::string shortened(const std::string& text)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isContinuation(text[i]))
            continue;
        if (seen++ == shownCharacters)
            return text.substr(0, i) + "...";
    }
    return text;
}

std::string entryKey(const InboxEntry& e)
{
    return e.headerSender + '\x1f' + e.headerStamp + '\x1f' + e.text;
}

std::string longMessageKey(const SmsDeliver& sms)
{
    return "long\x1f" + sms.sender + '\x1f' + std::to_string(sms.concat->reference) + '\x1f' +
           std::to_string(sms.concat->count);
}

// 8-bit data is no text: it goes out as its hexadecimal digits.
std::u16string textUnits(const SmsDeliver& sms)
{
    if (sms.coding != SmsCoding::EightBit)
        return sms.units;
    const std::string hex = HexDigits(sms.octets);
    return std::u16string(hex.begin(), hex.end());
}

bool isLongMessagePart(const std::optional<SmsDeliver>& sms)
{
    return sms && sms->concat && sms->concat->count > 1 && sms->concat->sequence >= 1 &&
           sms->concat->sequence <= sms->concat->count;
}

ListedMessage decodedMessage(const SmsDeliver& first, const std::u16string& units)
{
    ListedMessage m;
    m.sender = first.sender;
    m.stamp = first.stamp;
    m.text = Utf16ToUtf8(units);
    m.lblSMSstamp = m.sender + "    " + m.stamp;
    m.lblSMS = shortened(m.text);
    m.textLength = characters(m.text);
    return m;
}

} // namespace

struct ForwardingQueue::Listed {
    const InboxEntry* entry;
    std::optional<SmsDeliver> sms; // decoded mode only, when the PDU is an SMS-DELIVER
};

struct ForwardingQueue::Candidate {
    ListedMessage message;
    bool ready = true;
};

ForwardingQueue::ForwardingQueue(bool decode, std::int64_t multipartWaitMs, MessageFormat format)
    : decode_(decode), multipartWaitMs_(multipartWaitMs),
      format_(decode ? MessageFormat::Pdu : format)
{
}

CyclePlan ForwardingQueue::plan(const InboxList& list, std::int64_t nowMs)
{
    CyclePlan plan;
    // Each entry decoded once, for forgetting and for choosing alike.
    std::vector<Listed> listed;
    for (const InboxEntry& entry : list.entries)
        listed.push_back({&entry, decode_ ? DecodeSmsDeliver(entry.text) : std::nullopt});
    if (list.whole)
        forget(listed);

    std::vector<Listed> pending;
    for (Listed& item : listed) {
        const InboxEntry& entry = *item.entry;
        if (!entry.complete) {
            plan.cutShort = entry;
        } else if (acceptedEntries_.count(entryKey(entry))) {
            if (!entry.index.empty())
                plan.deleteAgain.push_back({entry.index, entryKey(entry)});
        } else {
            pending.push_back(std::move(item));
        }
    }

    const std::vector<Candidate> all = candidates(pending, list.whole, nowMs, plan.notices);
    std::size_t start = 0;
    if (resumeAfter_) {
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].message.key == *resumeAfter_)
                start = i + 1;
    }
    for (std::size_t n = 0; n < all.size(); ++n) {
        const Candidate& c = all[(start + n) % all.size()];
        const auto waiting = backoff_.find(c.message.key);
        if (c.ready && (waiting == backoff_.end() || waiting->second.notBeforeMs <= nowMs)) {
            plan.forward = c.message;
            break;
        }
    }
    return plan;
}

std::vector<ForwardingQueue::Candidate>
ForwardingQueue::candidates(std::vector<Listed>& entries, bool listWhole,
                            std::int64_t nowMs, std::vector<std::string>& notices)
{
    struct Part {
        const InboxEntry* entry;
        SmsDeliver sms;
    };
    struct LongMessage {
        std::size_t position; // of its first listed part among the candidates
        std::map<int, std::vector<Part>> parts; // sequence -> entries (duplicates listed twice)
    };
    std::vector<Candidate> out;
    std::map<std::string, LongMessage> longMessages;
    std::map<std::string, std::size_t> singles; // key -> position, for an entry listed twice

    for (auto& [entry, sms] : entries) {
        if (isLongMessagePart(sms)) {
            const std::string key = longMessageKey(*sms);
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
        const std::string key = entryKey(*entry);
        if (const auto twin = singles.find(key); twin != singles.end()) {
            // The same message stored twice: forwarded once, both deleted after the 2xx.
            if (!entry->index.empty())
                out[twin->second].message.indexes.push_back(entry->index);
            continue;
        }
        singles.emplace(key, out.size());
        Candidate c;
        if (sms) {
            c.message = decodedMessage(*sms, textUnits(*sms));
        } else {
            // Text mode, plain PDU mode, or a PDU that is no SMS-DELIVER we can read: as listed.
            c.message.sender = entry->sender;
            c.message.stamp = entry->stamp;
            c.message.text = entry->text;
            c.message.lblSMSstamp = entry->lblSMSstamp;
            c.message.lblSMS = entry->lblSMS;
            c.message.listedSender = entry->headerSender;
            c.message.listedTime = entry->headerTime;
            c.message.textLength = characters(entry->text);
        }
        c.message.key = key;
        c.message.entryKeys = {key};
        c.message.contentKeys = {ContentKey(*entry, format_)};
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

        std::u16string units;
        Candidate& c = out[longMessage.position];
        for (int sequence = 1; sequence <= count; ++sequence) {
            const auto part = longMessage.parts.find(sequence);
            if (part == longMessage.parts.end()) {
                units += missingPart;
                continue;
            }
            const std::u16string partUnits = textUnits(part->second.front().sms);
            units += partUnits;
            for (const Part& copy : part->second) {
                // A copy is the same part stored twice only when it says the same; another
                // text under the same sender, reference and number stays for a turn of its own.
                if (textUnits(copy.sms) != partUnits)
                    continue;
                c.message.entryKeys.push_back(entryKey(*copy.entry));
                c.message.contentKeys.push_back(ContentKey(*copy.entry, format_));
                if (!copy.entry->index.empty())
                    c.message.indexes.push_back(copy.entry->index);
            }
        }
        ListedMessage joined = decodedMessage(first, units);
        joined.indexes = std::move(c.message.indexes);
        joined.entryKeys = std::move(c.message.entryKeys);
        joined.contentKeys = std::move(c.message.contentKeys);
        joined.parts = static_cast<int>(longMessage.parts.size());
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

// Everything a whole list no longer holds: deleted, by us or by someone else.
void ForwardingQueue::forget(const std::vector<Listed>& entries)
{
    std::set<std::string> listed;
    for (const auto& [entry, sms] : entries) {
        listed.insert(entryKey(*entry));
        if (isLongMessagePart(sms))
            listed.insert(longMessageKey(*sms));
    }
    std::erase_if(acceptedEntries_, [&](const auto& item) { return !listed.count(item.first); });
    std::erase_if(firstSeen_, [&](const auto& item) { return !listed.count(item.first); });
    std::erase_if(backoff_, [&](const auto& item) { return !listed.count(item.first); });
    // A long message sent without some parts: once none of its parts is listed, its
    // reference is free again (references repeat, and some senders always use the same).
    std::erase_if(forwardedIncomplete_, [&](const std::string& k) { return !listed.count(k); });
}

void ForwardingQueue::accepted(const ListedMessage& message)
{
    for (std::size_t i = 0; i < message.entryKeys.size(); ++i)
        acceptedEntries_[message.entryKeys[i]] =
            i < message.contentKeys.size() ? message.contentKeys[i] : message.entryKeys[i];
    firstSeen_.erase(message.key);
    backoff_.erase(message.key);
    if (message.partsMissing) {
        forwardedIncomplete_.push_back(message.key);
        if (forwardedIncomplete_.size() > rememberedIncomplete)
            forwardedIncomplete_.pop_front();
    }
    resumeAfter_.reset();
}

std::int64_t ForwardingQueue::refused(const ListedMessage& message, std::int64_t nowMs)
{
    resumeAfter_ = message.key;
    Backoff& b = backoff_[message.key];
    ++b.failures;
    std::int64_t wait = 0;
    if (b.failures >= 2) {
        wait = firstBackoffMs;
        for (int i = 2; i < b.failures && wait < longestBackoffMs; ++i)
            wait *= 2;
        wait = std::min(wait, longestBackoffMs);
    }
    b.notBeforeMs = nowMs + wait;
    return wait;
}

bool ForwardingQueue::holdsAccepted(const std::string& contentKey) const
{
    return std::any_of(acceptedEntries_.begin(), acceptedEntries_.end(),
                       [&](const auto& item) { return item.second == contentKey; });
}

void ForwardingQueue::forgetAccepted(const std::string& entryKey)
{
    acceptedEntries_.erase(entryKey);
}

} // namespace zorvel

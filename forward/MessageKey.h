#pragma once
// What identifies a message: from cycle to cycle an entry as it was listed, or a long
// message by what its parts share; against a read of its slot and in the store, its
// content. Each key holds its fields and compares as the bytes they join to ('\x1f'
// between them), which is what the store keeps of a content or a long message: this
// run's memory and the store file never disagree on which are one, and a map of keys
// runs in that byte order (the order long messages are joined and logged in).
#include <compare>
#include <string>
#include <variant>

#include "InboxDecoder.h"
#include "MessageRead.h"
#include "SmsDeliver.h"

namespace zorvel {

template <class Key>
struct ComparedByBytes {
    friend bool operator==(const Key& a, const Key& b) { return a.bytes() == b.bytes(); }
    friend std::strong_ordering operator<=>(const Key& a, const Key& b) { return a.bytes() <=> b.bytes(); }
};

// An entry as listed: the list header's sender and time field, and its text.
struct EntryKey : ComparedByBytes<EntryKey> {
    EntryKey() = default;
    explicit EntryKey(const InboxEntry& e) : sender(e.headerSender), stamp(e.headerStamp), text(e.text) {}
    std::string bytes() const { return sender + '\x1f' + stamp + '\x1f' + text; }

    std::string sender, stamp, text;
};

// A message's content: text mode its sender, time stamp and text; PDU mode its PDU alone.
struct ContentKey : ComparedByBytes<ContentKey> {
    ContentKey() = default;
    ContentKey(const ReadMessage& m, MessageFormat format)
        : pdu(format == MessageFormat::Pdu), sender(m.sender), time(m.time), text(m.text) {}
    ContentKey(const InboxEntry& e, MessageFormat format)
        : ContentKey(ReadMessage{e.headerSender, e.headerTime, e.text, {}}, format) {}
    std::string bytes() const { return pdu ? text : sender + '\x1f' + time + '\x1f' + text; }
    // Without the text: a text can imitate a list entry and cut the real one short, but
    // leaves its header as it was.
    ContentKey header() const { return ContentKey(ReadMessage{sender, time, {}, {}}, MessageFormat::Text); }

    bool pdu = false;
    std::string sender, time, text;
};

// Sender, reference and count (`sms` is a part of a long message): what its parts share.
struct LongMessageKey : ComparedByBytes<LongMessageKey> {
    explicit LongMessageKey(const SmsDeliver& sms)
        : sender(sms.sender), reference(sms.concat->reference), count(sms.concat->count) {}
    std::string bytes() const
    {
        return "long\x1f" + sender + '\x1f' + std::to_string(reference) + '\x1f' + std::to_string(count);
    }

    std::string sender;
    int reference = 0, count = 0;
};

// A message's key: its entry's, or its long message's.
struct MessageKey : ComparedByBytes<MessageKey> {
    MessageKey(EntryKey entry = {}) : key(std::move(entry)) {}
    MessageKey(LongMessageKey longMessage) : key(std::move(longMessage)) {}
    std::string bytes() const { return std::visit([](const auto& k) { return k.bytes(); }, key); }

    std::variant<EntryKey, LongMessageKey> key;
};

} // namespace zorvel

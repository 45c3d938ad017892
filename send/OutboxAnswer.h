#pragma once
// What the web application offers to send, read from its answer to the outbox poll:
//   {"messages":[{"id":"...","to":"...","text":"..."}, ...]}
// whatever the content type says. Every byte is the web's and hostile: each entry is
// checked on its own (id, recipient, text and its parts), a bad one is left out with a
// printable reason and the others still count. Reasons name the entry's position and id,
// never its number or text in full: those are personal data.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zorvel {

struct OfferedMessage {
    std::string id;        // 1 to 64 of A-Z a-z 0-9 - _ .
    std::string recipient; // as CheckRecipient gave it back
    std::string text;      // UTF-8, not empty
    int parts = 1;         // what CountSubmitParts counted
};

struct OutboxOffer {
    std::vector<OfferedMessage> messages; // in the answer's order, the first of each id
    std::vector<std::string> problems;    // one printable line each
};

// Entries after this many in one answer are left for a later poll.
inline constexpr std::size_t outboxAnswerMostEntries = 100;

OutboxOffer ReadOutboxAnswer(std::string_view body, int maxParts);

// 1 to 64 characters, each of A-Z a-z 0-9 - _ .
bool IsOutboxId(std::string_view id);

} // namespace zorvel

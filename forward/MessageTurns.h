#pragma once
// Whose turn it is among the listed messages: the one after a message that just failed
// goes first, so one the web application refuses cannot hold up the rest, and a message
// that failed again and again waits longer between tries. Memory only.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "MessageKey.h"

namespace zorvel {

class MessageTurns {
public:
    // Of the messages ready to go (`keys`, in list order), the one whose turn it is, or
    // nothing while every one of them waits out its back-off. `ready[i]` false: skipped.
    std::optional<std::size_t> next(const std::vector<MessageKey>& keys, const std::vector<bool>& ready,
                                     std::int64_t nowMs) const;
    // Returns how long the message now waits (0: its next turn).
    std::int64_t refused(const MessageKey& key, std::int64_t nowMs);
    void accepted(const MessageKey& key);
    // A whole list no longer holds these: their failures are forgotten.
    void keepOnly(const std::set<MessageKey>& listed);

private:
    struct Backoff {
        int failures = 0;
        std::int64_t notBeforeMs = 0;
    };
    std::map<MessageKey, Backoff> backoff_;  // message key -> failures so far
    std::optional<MessageKey> resumeAfter_; // key of the message that just failed
};

} // namespace zorvel

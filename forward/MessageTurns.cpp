#include "MessageTurns.h"

#include "DoublingWait.h"

namespace zorvel {

std::optional<std::size_t> MessageTurns::next(const std::vector<MessageKey>& keys,
                                              const std::vector<bool>& ready, std::int64_t nowMs) const
{
    std::size_t start = 0;
    if (resumeAfter_) {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == *resumeAfter_)
                start = i + 1;
    }
    for (std::size_t n = 0; n < keys.size(); ++n) {
        const std::size_t i = (start + n) % keys.size();
        const auto waiting = backoff_.find(keys[i]);
        if (ready[i] && (waiting == backoff_.end() || waiting->second.notBeforeMs <= nowMs))
            return i;
    }
    return std::nullopt;
}

std::int64_t MessageTurns::refused(const MessageKey& key, std::int64_t nowMs)
{
    resumeAfter_ = key;
    Backoff& b = backoff_[key];
    ++b.failures;
    const std::int64_t wait = messageRetryWait.afterFailures(b.failures);
    b.notBeforeMs = nowMs + wait;
    return wait;
}

void MessageTurns::accepted(const MessageKey& key)
{
    backoff_.erase(key);
    resumeAfter_.reset();
}

void MessageTurns::keepOnly(const std::set<MessageKey>& listed)
{
    std::erase_if(backoff_, [&](const auto& item) { return !listed.count(item.first); });
}

} // namespace zorvel

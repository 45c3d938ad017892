#pragma once
// The outbox in memory: every call either works or, with `failWrites`, fails as a full
// disk would, and the test reads the states and the state reports directly.
#include <algorithm>
#include <map>

#include "OutboxStore.h"

namespace zorvel::testing {

class FakeOutbox : public OutboxStore {
public:
    const std::string& problem() const override { return problem_; }

    Added add(const NewOutgoing& m, std::int64_t now) override
    {
        if (!writable())
            return Added::Failed;
        if (messages.count(m.id))
            return Added::AlreadyThere;
        OutboxMessage kept{m.id, m.recipient, m.text, m.parts, m.origin};
        kept.createdMs = kept.changedMs = kept.nextTryMs = now;
        messages[m.id] = kept;
        order.push_back(m.id);
        return Added::Added;
    }
    std::optional<OutboxMessage> find(const std::string& id) override
    {
        const auto it = messages.find(id);
        return it == messages.end() ? std::nullopt : std::optional(it->second);
    }
    std::vector<OutboxMessage> list(std::size_t) override { return {}; }
    std::optional<OutboxMessage> nextDue(std::int64_t now) override
    {
        for (const std::string& id : order)
            if (messages[id].state == OutboxState::Queued && messages[id].nextTryMs <= now)
                return messages[id];
        return std::nullopt;
    }
    std::optional<std::int64_t> nextDueAt() override
    {
        std::optional<std::int64_t> at;
        for (const auto& [id, m] : messages)
            if (m.state == OutboxState::Queued)
                at = std::min(at.value_or(m.nextTryMs), m.nextTryMs);
        return at;
    }
    bool markSending(const std::string& id, std::int64_t now) override { return change(id, OutboxState::Sending, now); }
    bool partSent(const std::string& id, int sequence, int reference, std::int64_t now) override
    {
        if (!writable())
            return false;
        sent.push_back({id, sequence, reference, now});
        ++messages[id].partsSent;
        return true;
    }
    bool markSent(const std::string& id, std::int64_t now) override { return change(id, OutboxState::Sent, now); }
    bool sendRefused(const std::string& id, const std::string& failure, std::int64_t next,
                     std::int64_t now) override
    {
        if (!change(id, OutboxState::Queued, now, failure))
            return false;
        ++messages[id].tries;
        messages[id].nextTryMs = next;
        return true;
    }
    bool markFailed(const std::string& id, const std::string& d, std::int64_t now) override { return change(id, OutboxState::Failed, now, d); }
    bool markUnknown(const std::string& id, const std::string& d, std::int64_t now) override { return change(id, OutboxState::Unknown, now, d); }
    int sendingBecomesUnknown(const std::string& d, std::int64_t now) override
    {
        int n = 0;
        for (auto& [id, m] : messages)
            if (m.state == OutboxState::Sending && change(id, OutboxState::Unknown, now, d))
                ++n;
        return n;
    }
    bool resend(const std::string& id, std::int64_t now) override
    {
        const auto it = messages.find(id);
        if (it == messages.end() || (it->second.state != OutboxState::Unknown && it->second.state != OutboxState::Failed))
            return false;
        it->second.tries = it->second.partsSent = 0;
        it->second.nextTryMs = now;
        return change(id, OutboxState::Queued, now);
    }
    std::optional<SentPart> findSentPart(int reference, const std::string& recipient, std::int64_t since) override
    {
        for (auto part = sent.rbegin(); part != sent.rend(); ++part)
            if (part->reference == reference && messages[part->messageId].recipient == recipient && part->sentMs >= since)
                return *part;
        return std::nullopt;
    }
    bool partReported(const SentPart& part, bool delivered, const std::string& detail, std::int64_t now) override
    {
        OutboxMessage& m = messages[part.messageId];
        if (!delivered)
            return change(m.id, OutboxState::Failed, now, detail);
        if (++m.partsReported >= m.parts)
            return change(m.id, OutboxState::Delivered, now, detail);
        return writable();
    }
    int partsSentSince(std::int64_t since) override
    {
        return static_cast<int>(std::count_if(sent.begin(), sent.end(), [&](const SentPart& p) { return p.sentMs >= since; }));
    }
    std::vector<StateReport> dueStateReports(std::int64_t, std::size_t) override { return reports; }
    bool stateReportDelivered(std::int64_t) override { return writable(); }
    bool stateReportRefused(std::int64_t, const std::string&, std::int64_t) override { return writable(); }

    OutboxState stateOf(const std::string& id) { return messages[id].state; }

    std::map<std::string, OutboxMessage> messages;
    std::vector<std::string> order;
    std::vector<SentPart> sent;
    std::vector<StateReport> reports;
    std::vector<std::string> changes; // "id:state", in order
    bool failWrites = false;

private:
    bool writable()
    {
        problem_ = failWrites ? "disk full" : "";
        return !failWrites;
    }
    bool change(const std::string& id, OutboxState state, std::int64_t now, const std::string& detail = {})
    {
        if (!writable() || !messages.count(id))
            return false;
        OutboxMessage& m = messages[id];
        m.state = state;
        m.changedMs = now;
        m.lastError = detail;
        changes.push_back(id + ":" + std::string(OutboxStateName(state)));
        return true;
    }
    std::string problem_;
};

} // namespace zorvel::testing

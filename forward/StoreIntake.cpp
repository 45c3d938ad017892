#include "StoreIntake.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageText.h"
#include "ReplyShape.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

// A list holds at most a few hundred slots; a text imitating headers adds a few more.
// What is left over is read in the next cycle, after this one's deletes made room.
constexpr std::size_t readsPerCycle = 50;
constexpr std::int64_t purgeEveryMs = 60 * 60 * 1000;
// A slot whose delete is refused this many cycles in a row is worth a warning, again at
// most once an hour.
constexpr int refusalsToWarn = 3;
constexpr std::int64_t warnEveryMs = 60 * 60 * 1000;

// A modem's reply as one short line of printable text, every byte of it shown.
std::string replyForLog(const std::string& reply)
{
    const std::size_t first = reply.find_first_not_of("\r\n");
    if (first == std::string::npos)
        return "no reply";
    const std::size_t last = reply.find_last_not_of("\r\n");
    return EscapeBytes(reply.substr(first, std::min<std::size_t>(last + 1 - first, 200)));
}

} // namespace

StoreIntake::StoreIntake(LocalStore& store, Clock& clock, IntakeSettings settings,
                         MessageIdSource newId)
    : store_(store), clock_(clock), settings_(settings), newId_(std::move(newId))
{
}

std::vector<std::string> StoreIntake::listed(const InboxList& list, bool settled)
{
    taken_.clear();
    reportSlots_.clear();
    deleting_.clear();
    deleted_.clear();
    headers_.clear();
    previousRead_.reset();
    listedContents_.clear();
    // In text mode a text can imitate an entry and so cut the real one short in the list:
    // a deleted SMS stays known while an entry with its sender and time is listed.
    std::set<ContentKey> listedHeaders;
    if (!listedSincePurge_)
        listedSincePurge_.emplace();
    for (const InboxEntry& entry : list.entries) {
        const ContentKey content(entry, settings_.format);
        ++listedContents_[content];
        listedSincePurge_->insert(content);
        if (settings_.format == MessageFormat::Text)
            listedHeaders.insert(content.header());
    }
    // A late "OK" of another command reads as an empty list: only a list with entries
    // says a deleted SMS is gone.
    if (list.whole && settled && !list.entries.empty())
        std::erase_if(recentlyDeleted_, [&](const ContentKey& c) {
            return !listedContents_.count(c) && !listedHeaders.count(c.header());
        });
    anchored_ = settings_.format != MessageFormat::Text || (list.whole && settled);
    std::vector<std::string> reads;
    for (const InboxEntry& entry : list.entries) {
        if (entry.index.empty())
            continue;
        if (settings_.format == MessageFormat::Text) {
            headers_[entry.index].emplace_back(entry.headerSender, entry.headerTime);
            // Whatever the list seemed to say about the slot, its read decides.
            if (std::find(reads.begin(), reads.end(), entry.index) == reads.end() &&
                reads.size() < readsPerCycle)
                reads.push_back(entry.index);
            continue;
        }
        // An entry the reply window cut off may lack the end of its PDU.
        if (!entry.complete)
            continue;
        if (takeStatusReport && takeStatusReport(entry.text)) {
            reportSlots_.push_back(entry.index);
            continue;
        }
        take(entry.index, ContentKey(entry, MessageFormat::Pdu),
             NewMessage{{}, entry.sender, entry.stamp, entry.text, 1}, entry.text);
    }
    return reads;
}

bool StoreIntake::settleAnswered(const std::string& reply, bool settled)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    anchored_ = settled && std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
                               return !l.empty();
                           }) == 1 && std::find(lines.begin(), lines.end(), "OK") != lines.end();
    return anchored_;
}

bool StoreIntake::slotRead(const std::string& index, const std::string& reply, bool settled)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    const std::size_t finalAt = FinalResultAt(lines);
    const std::optional<ReadMessage> read = DecodeCMGR(reply, MessageFormat::Text);
    // An empty slot answers with an error of its own ("+CMS ERROR: 321"): nothing to keep,
    // and the next window is as sure as this one was.
    const bool ownError = finalAt < lines.size() && lines[finalAt] != "OK" &&
                          std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
                              return !l.empty();
                          }) == 1;
    if (!anchored_ || !settled || (!read && !ownError)) {
        anchored_ = false;
        return false;
    }
    if (!read)
        return true;
    const ContentKey content(*read, MessageFormat::Text);
    const auto& listed = headers_[index];
    const bool listedSo = std::find(listed.begin(), listed.end(),
                                    std::make_pair(read->sender, read->time)) != listed.end();
    if (!listedSo || content == previousRead_) {
        anchored_ = false;
        if (events.notice)
            events.notice("index " + EscapeBytes(index) + " and later ones left for the next cycle: " +
                          (listedSo ? "its read repeats the one before" : "its read does not match its list entry"));
        return false;
    }
    previousRead_ = content;
    take(index, content, NewMessage{{}, read->sender, read->stamp, read->text, 1}, {});
    return true;
}

void StoreIntake::take(const std::string& index, const ContentKey& content, NewMessage asListed,
                       const std::string& pdu)
{
    if (std::any_of(taken_.begin(), taken_.end(), [&](const Taken& t) { return t.index == index; }))
        return; // a slot listed twice is taken once
    // In text mode the read may differ from what the list seemed to show.
    if (listedSincePurge_)
        listedSincePurge_->insert(content);
    Taken t{index, content, {}, {}, {}, false};
    // The same message stored twice is kept once; both slots are deleted after the commit.
    t.storedBefore = store_.holdsEntry(content.bytes()) || recentlyDeleted_.count(content) ||
                     std::any_of(taken_.begin(), taken_.end(),
                                 [&](const Taken& other) { return other.content == content; });
    if (!t.storedBefore) {
        std::string whyNot;
        const std::optional<SmsDeliver> sms =
            settings_.decode ? DecodeSmsDeliver(pdu, &whyNot) : std::nullopt;
        if (settings_.decode && !sms && events.detail)
            events.detail("index " + EscapeBytes(index) + " is no SMS to decode (" + whyNot +
                          "): stored as its PDU");
        if (IsLongMessagePart(sms)) {
            t.part = NewPart{LongMessageKey(*sms).bytes(), sms->concat->sequence, sms->concat->count, pdu};
            t.sender = sms->sender;
        } else {
            if (sms) {
                const ListedMessage decoded = DecodedMessage(*sms, TextUnits(*sms));
                asListed.sender = decoded.sender;
                asListed.stamp = decoded.stamp;
                asListed.text = decoded.text;
            }
            asListed.id = newId_();
            t.message = std::move(asListed);
        }
    }
    taken_.push_back(std::move(t));
}

std::vector<std::string> StoreIntake::commit()
{
    Intake intake;
    for (const Taken& t : taken_) {
        if (t.storedBefore)
            continue;
        intake.entries.push_back({t.content.bytes(), t.message ? t.message->id : std::string()});
        if (t.message)
            intake.messages.push_back(*t.message);
        if (t.part)
            intake.parts.push_back(*t.part);
    }
    if (!intake.entries.empty()) {
        if (!store_.keep(intake, clock_.nowMs())) {
            reportProblem(true);
            return {};
        }
        reportProblem(false);
    }
    std::vector<std::string> deletes;
    for (const Taken& t : taken_) {
        if (t.message && events.stored)
            events.stored(*t.message, {t.index});
        if (t.part && events.notice)
            events.notice("stored part " + std::to_string(t.part->sequence) + " of " +
                          std::to_string(t.part->count) + " of a long message from " +
                          EscapeBytes(t.sender) + ", index " + EscapeBytes(t.index));
        deleting_[t.index] = t.content;
        deletes.push_back(t.index);
        if (events.deleting)
            events.deleting(t.index);
    }
    for (const std::string& index : reportSlots_) {
        deletes.push_back(index);
        if (events.deleting)
            events.deleting(index);
    }
    // Refusals count in a row: a slot not deleted this cycle starts again.
    std::erase_if(refusedDeletes_, [&](const auto& r) { return !deleting_.count(r.first); });
    // A long message whose last part just came goes out before the deletes are done.
    if (settings_.decode && !intake.parts.empty())
        joinWaitingParts();
    return deletes;
}

void StoreIntake::deleteAnswered(const std::string& index, bool ok, const std::string& reply)
{
    const auto it = deleting_.find(index);
    if (ok && it != deleting_.end())
        deleted_.push_back(it->second);
    if (ok || it == deleting_.end()) {
        refusedDeletes_.erase(index);
        return;
    }
    // Its message is stored and never sent again, but the slot stays full.
    RefusedDelete& refused = refusedDeletes_[index];
    const std::int64_t now = clock_.nowMs();
    if (++refused.times < refusalsToWarn || (refused.warnedMs >= 0 && now - refused.warnedMs < warnEveryMs))
        return;
    refused.warnedMs = now;
    if (events.warning)
        events.warning("the modem refused to delete index " + EscapeBytes(index) + " " +
                       std::to_string(refused.times) + " cycles in a row (" + replyForLog(reply) +
                       "); its message is stored, but the slot stays taken");
}

void StoreIntake::finishCycle()
{
    // Losing this at a crash costs nothing: an entry no longer on the modem is never
    // listed again, and the purge forgets it after a week.
    // A copy of the same message still on the modem keeps it known, so that the copy
    // is deleted and not taken for a new message.
    std::vector<std::string> forget;
    for (const ContentKey& content : deleted_)
        if (--listedContents_[content] <= 0) {
            forget.push_back(content.bytes());
            recentlyDeleted_.insert(content);
        }
    if (!forget.empty())
        store_.entriesDeleted(forget);
    deleted_.clear();
    deleting_.clear();
    taken_.clear();
    if (settings_.decode)
        joinWaitingParts();
    const std::int64_t now = clock_.nowMs();
    if (now - lastPurgeMs_ >= purgeEveryMs) {
        std::optional<std::vector<std::string>> listed;
        if (listedSincePurge_) {
            listed.emplace();
            for (const ContentKey& content : *listedSincePurge_)
                listed->push_back(content.bytes());
        }
        if (store_.purge(now, listed)) {
            lastPurgeMs_ = now;
            listedSincePurge_.reset();
        }
    }
    store_.catchUp();
}

void StoreIntake::joinWaitingParts()
{
    // Each long message's parts in intake order; of a part stored twice with different
    // texts the first counts, the other waits for a message of its own.
    std::map<std::string, std::vector<StoredPart>> groups;
    for (StoredPart& p : store_.parts())
        groups[p.part.longKey].push_back(std::move(p));
    const std::int64_t now = clock_.nowMs();
    for (const auto& [key, parts] : groups) {
        std::map<int, const StoredPart*> chosen;
        for (const StoredPart& p : parts)
            chosen.try_emplace(p.part.sequence, &p);
        const int count = parts.front().part.count;
        const std::int64_t firstMs = parts.front().receivedMs;
        const bool allThere = static_cast<int>(chosen.size()) == count;
        if (!allThere && now - firstMs <= settings_.multipartWaitMs)
            continue;
        std::map<int, SmsDeliver> decoded;
        std::vector<std::int64_t> ids;
        for (const auto& [sequence, p] : chosen) {
            std::optional<SmsDeliver> sms = DecodeSmsDeliver(p->part.pdu);
            if (!sms)
                continue; // decoded at intake; should it not now, it stays stored
            decoded.emplace(sequence, std::move(*sms));
            ids.push_back(p->id);
        }
        if (decoded.empty())
            continue;
        const ListedMessage joined = JoinedMessage(decoded, count);
        const NewMessage message{newId_(), joined.sender, joined.stamp, joined.text, joined.parts};
        if (!store_.join(message, firstMs, ids)) {
            reportProblem(true);
            return;
        }
        if (events.stored)
            events.stored(message, {});
    }
}

void StoreIntake::reportProblem(bool failed)
{
    if (failed == failing_)
        return; // said once when it starts, once when it ends
    failing_ = failed;
    if (events.storeProblem)
        events.storeProblem(failed ? store_.problem() : std::string());
}

} // namespace zorvel

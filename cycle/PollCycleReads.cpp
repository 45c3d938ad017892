// The inbox steps of the poll cycle without the store, in text mode's care: each slot is
// read on its own before it is forwarded and before it is deleted, and a read decides only
// when it stands alone.
#include "PollCycle.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageText.h"
#include "ReplyShape.h"

namespace zorvel {

namespace {

// One "+CMGR:" header, with nothing before it but the echo and the modem's own lines.
bool ReadStandsAlone(const std::string& answer)
{
    const std::vector<std::string> lines = ReplyLines(answer);
    const auto header = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.starts_with("+CMGR:"); });
    return header != lines.end() &&
           std::all_of(lines.begin(), header, [](const std::string& l) {
               return l.empty() || IsUnsolicited(l) || l.starts_with("AT");
           }) &&
           std::none_of(header + 1, lines.end(), [](const std::string& l) { return l.starts_with("+CMGR:"); });
}

} // namespace

void PollCycle::readBeforeDelete(const std::string& answer)
{
    const PendingDelete pending = deletes_.front();
    deletes_.pop_front();
    const std::optional<ReadMessage> read = readOnItsOwn(answer);
    if (!read || !planner_.holdsAccepted({*read, messageFormat()})) {
        // The slot did not show what the web application accepted: it is not deleted. When
        // it plainly showed another message, its list entry is a message like any other
        // again (read on its own in text mode, what went out may not have been it: two
        // replies run together once read as one). Plainly: a settled list planned it and
        // the reply is the read alone; a late reply or the tail of a list whose text holds
        // a "+CMGR:" line proves nothing, and forgetting then sent a message twice.
        if (read && pending.forwardedBefore && listSettled_ && ReadStandsAlone(answer) && pending.entryKey)
            planner_.forgetAccepted(*pending.entryKey);
        if (events.notice)
            events.notice("index " + EscapeBytes(pending.index) + " not deleted: " +
                          (read ? "it holds a message that was not forwarded"
                                : "its read gave no message"));
        return continueInbox();
    }
    if (events.deleting)
        events.deleting(pending.index, pending.forwardedBefore);
    step_ = Step::Delete;
    send(CommandKind::Delete, DeleteCommand(pending.index));
}

void PollCycle::readBeforeForward(const std::string& answer)
{
    const std::optional<ReadMessage> read = readOnItsOwn(answer);
    const std::string index = message_->indexes.front();
    if (read && planner_.holdsAccepted({*read, MessageFormat::Text})) {
        // Accepted before, listed in another shape: only its delete was missing.
        deletes_.push_back({index, {}, true});
        return continueInbox();
    }
    // The list's header must be this slot's own: a text can imitate one.
    const ContentKey& listed = message_->entries.front().content;
    if (!read || read->sender != listed.sender || read->time != listed.time) {
        const std::int64_t wait = planner_.refused(*message_, clock_.nowMs());
        if (events.notice)
            events.notice("index " + EscapeBytes(index) + " not forwarded: " +
                          (read ? "its read does not match its list entry"
                                : "its read gave no message") +
                          (wait > 0 ? "; next try in " + std::to_string(wait / 1000) + " s" : ""));
        return continueInbox();
    }
    message_->text = read->text;
    message_->textLength = Utf8Characters(read->text);
    message_->shownText = ShownText(read->text);
    for (ListedMessage::Entry& entry : message_->entries)
        entry.content = ContentKey(*read, MessageFormat::Text);
    showMessage(message_->shownStamp, message_->shownText);
    run(Step::Forward);
}

// A read decides only when it ended with its final result code, and, in text mode,
// when the modem had fallen quiet before the reply window closed: a reply still
// streaming in may have been cut just after a line of the text that reads "OK".
std::optional<ReadMessage> PollCycle::readOnItsOwn(const std::string& answer) const
{
    if (messageFormat() == MessageFormat::Text && !exchange_.replySettled())
        return std::nullopt;
    return DecodeCMGR(answer, messageFormat());
}

} // namespace zorvel

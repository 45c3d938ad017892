// The held link in text mode: where a list or a read ends when a message's text may hold
// any line, "OK" among them.
#include "HeldLink.h"

#include "ReplySettled.h"
#include "ReplyShape.h"
#include "TextFraming.h"

namespace zorvel {

// The reply ends with a final result code: the lengths in its headers tell whether that
// code is the reply's or a line of a text. A reply whose texts the lengths do not cover
// waits for more, up to its ceiling; one without lengths is confirmed.
void HeldLink::textReplyEnded()
{
    framedShort_ = false;
    switch (FrameTextReply(reply_)) {
    case TextFrame::Whole: return finish(Ending::FinalResult);
    case TextFrame::Incomplete: framedShort_ = true; return;
    case TextFrame::Unframed: return times_.textLingerMs > 0 ? startLinger() : startConfirm();
    }
}

void HeldLink::startLinger()
{
    lingering_ = true;
    lingerFrom_ = reply_.size();
    if (lingerMs_ == 0)
        lingerMs_ = times_.textLingerMs;
    linger_->start(lingerMs_, [this] {
        lingering_ = false;
        if (replyComplete())
            startConfirm();
        // else a line is still coming: its end decides, or the ceiling
    });
}

// More bytes after a final result code: lines the modem drops in on its own keep the
// wait as it was; a text that went on past its "OK" line ends it, and a later final
// result code starts it anew. Only the bytes since then are looked at.
void HeldLink::lingerOn()
{
    if (OnlyOwnLines(WholeLines(reply_.substr(lingerFrom_))))
        return; // or a line still coming
    linger_->stop();
    lingering_ = false;
    if (replyComplete())
        textReplyEnded();
}

// A plain "AT" after the reply: the modem answers it once it has written all of the
// reply, whatever pause it made inside. Its answer is no part of the reply.
void HeldLink::startConfirm()
{
    confirming_ = true;
    wentOn_ = false;
    confirmHeard_.clear();
    confirmLines_ = 0;
    writeAndWait("AT\r\n", times_.queryCeilingMs);
}

// Before the answer to "AT" may come its echo (as the first line) and the modem's own
// lines; anything else is the reply going on, which then decides nothing.
void HeldLink::confirmHeard()
{
    const std::string piece = port_.readAll();
    if (piece.empty())
        return;
    lastPieceMs_ = clock_.nowMs();
    for (const std::string& whole : confirmHeard_.feed(piece)) {
        const std::string line = ReplyLines(whole).front();
        const bool echo = confirmLines_++ == 0 && line == "AT";
        if (IsFinalResult(line)) {
            confirmHeard_.clear();
            return finish(Ending::FinalResult);
        }
        if (!echo && !OnlyOwnLines(line))
            wentOn_ = true;
    }
    if (confirmHeard_.dropped())
        wentOn_ = true; // a line without end, as long as that, is no echo nor the modem's own
}

} // namespace zorvel

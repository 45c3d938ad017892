#include "ModelModem.h"

#include <algorithm>

namespace zorvel::model {

namespace {

// Digits from `at` on, capped; -1 when there are none.
int numberAt(std::string_view text, std::size_t& at)
{
    int value = -1;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = std::min((value < 0 ? 0 : value) * 10 + (text[at] - '0'), 1'000'000);
        ++at;
    }
    return value;
}

std::string unsolicitedLine(char letter)
{
    switch (letter) {
    case 'M': return "\r\n+CMTI: \"SM\",3\r\n";
    case 'R': return "\r\n^RSSI:18\r\n";
    default: return "\r\nRING\r\n";
    }
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The pieces joined, with each unsolicited line in front of the reply, between two list
// entries, or after the final result code (where it falls between a text and its final
// result code, not even a careful reader could tell it from the text's own last line).
std::string withUnsolicited(std::vector<std::string> pieces, const ReplyStyle& style, bool list)
{
    const std::size_t end = pieces.size();
    const auto position = [&](int before) {
        const bool inside = before == 0 || (list && before > 0 && static_cast<std::size_t>(before) + 1 < end);
        return inside ? static_cast<std::size_t>(before) : end;
    };
    // The last first, so that the positions still count the reply's own pieces.
    std::vector<ReplyStyle::Unsolicited> extras = style.unsolicited;
    std::stable_sort(extras.begin(), extras.end(),
                     [&](const auto& a, const auto& b) { return position(a.before) > position(b.before); });
    for (const auto& extra : extras)
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(position(extra.before)), extra.line);
    std::string reply;
    for (const std::string& piece : pieces)
        reply += piece;
    return reply;
}

} // namespace

std::vector<ReplyStyle> ParseReplyStyles(std::string_view tokens)
{
    std::vector<ReplyStyle> styles;
    ReplyStyle style;
    bool modified = false;
    for (std::size_t i = 0; i < tokens.size();) {
        const char c = tokens[i++];
        switch (c) {
        case 'F':
            style.fail = modified = true;
            break;
        case 'M': case 'R': case 'G':
            style.unsolicited.push_back({unsolicitedLine(c), numberAt(tokens, i)});
            modified = true;
            break;
        case '.': case 'L': case 'N': case 'C': case 'P':
            style.timing = c == '.' ? ReplyStyle::Timing::OnTime
                         : c == 'L' ? ReplyStyle::Timing::Late
                         : c == 'N' ? ReplyStyle::Timing::Never
                         : c == 'P' ? ReplyStyle::Timing::PausedInText
                                    : ReplyStyle::Timing::CutShort;
            style.amount = numberAt(tokens, i);
            // "N5": a modem that stays silent for five commands.
            for (int n = c == 'N' ? std::clamp(style.amount, 1, 50) : 1; n > 1; --n)
                styles.push_back(style);
            styles.push_back(std::move(style));
            style = {};
            modified = false;
            break;
        default:
            break;
        }
    }
    if (modified)
        styles.push_back(std::move(style));
    return styles;
}

ModelModem::ModelModem(Clock& clock, ModelStore& store, Trace& trace)
    : clock_(clock), store_(store), trace_(trace), timer_(clock.createTimer())
{
}

OpenResult ModelModem::open(int, const std::string&)
{
    if (!lost_.empty())
        trace_.add("lost while the port was closed: " + Trace::shown(lost_));
    lost_.clear();
    open_ = true;
    return {true, {}, {}};
}

void ModelModem::discardInput()
{
    if (!waiting_.empty())
        trace_.add("discarded " + Trace::shown(waiting_));
    waiting_.clear();
}

std::string ModelModem::readAll()
{
    std::string out;
    out.swap(waiting_);
    return out;
}

void ModelModem::close()
{
    open_ = false;
}

void ModelModem::plan(const std::string& command, const std::vector<ReplyStyle>& styles)
{
    if (!styles.empty())
        plans_[upper(command)].emplace_back(styles.begin(), styles.end());
}

ReplyStyle ModelModem::nextStyle(const std::string& name)
{
    for (const std::string& key : {name, std::string()}) {
        const auto it = plans_.find(key);
        if (!running_.empty() || it == plans_.end() || it->second.empty())
            continue;
        running_ = std::move(it->second.front());
        it->second.pop_front();
    }
    if (running_.empty())
        return {};
    ReplyStyle style = std::move(running_.front());
    running_.pop_front();
    return style;
}

void ModelModem::write(const std::string& bytes)
{
    trace_.add("> " + Trace::shown(bytes));
    if (bytes.empty())
        return;
    const std::int64_t now = clock_.nowMs();
    if (prompt_) {
        // The text of AT+CMGS, ended by Ctrl-Z.
        prompt_ = false;
        schedule(bytes.back() == '\x1a' ? "\r\n+CMGS: 7\r\n\r\nOK\r\n" : "\r\nERROR\r\n", now + 30, false);
        return;
    }
    std::string line = bytes;
    if (line.ends_with("\r\n"))
        line.resize(line.size() - 2);
    else if (line.ends_with('\r'))
        line.pop_back();
    else
        return trace_.violation("command line not ended by CR (the modem runs it together with "
                                "whatever comes next): " + Trace::shown(bytes));

    const std::string command = upper(line);
    const std::size_t nameEnd = std::min(command.find_first_of("=?"), command.size());
    std::string name = command.size() > 2 ? command.substr(2, nameEnd - 2) : std::string();
    if (!name.empty() && (name[0] == '+' || name[0] == '^'))
        name.erase(0, 1);
    const std::string argument = command.substr(nameEnd);
    if (const auto problem = malformed(command, name, argument))
        return trace_.violation("not a well-formed command line, which a modem would run: " +
                                Trace::shown(bytes) + ": " + *problem + "\n" + store_.describe());

    if (echo_)
        schedule(line + "\r", now, false);
    if (held_) {
        trace_.add("< late reply of the command before: " + Trace::shown(*held_));
        schedule(*held_, now + 10, false);
        held_.reset();
    }
    const ReplyStyle style = nextStyle(name);
    answer(withUnsolicited(run(name, argument, style.fail), style, name == "CMGL"), style, now);
}

void ModelModem::answer(const std::string& reply, const ReplyStyle& style, std::int64_t now)
{
    switch (style.timing) {
    case ReplyStyle::Timing::OnTime: {
        const int delay = style.amount < 0 ? 30 : std::clamp(style.amount, 20, 900);
        trace_.add("< after " + std::to_string(delay) + " ms: " + Trace::shown(reply));
        return schedule(reply, now + delay, false);
    }
    case ReplyStyle::Timing::Late:
        trace_.add("< held back until the next command: " + Trace::shown(reply));
        held_ = reply;
        return;
    case ReplyStyle::Timing::Never:
        return trace_.add("< never: " + Trace::shown(reply));
    case ReplyStyle::Timing::PausedInText: {
        // Up to and including the first line "OK" that more follows: a text's own.
        const std::size_t ok = reply.find("\r\nOK\r\n");
        const std::size_t cut = ok == std::string::npos || ok + 6 == reply.size() ? reply.size() : ok + 6;
        const int pause = std::clamp(style.amount < 0 ? 450 : style.amount, 20, 3000);
        trace_.add("< after 30 ms, paused " + std::to_string(pause) + " ms after a text's OK: " +
                   Trace::shown(reply));
        schedule(reply.substr(0, cut), now + 30, false);
        return schedule(reply.substr(cut), now + 30 + pause, false);
    }
    case ReplyStyle::Timing::CutShort: {
        // The exchange's window ends when the whole-second count has passed the one at
        // the write by one: at the start of the second after next.
        const std::int64_t windowEnd = (now / 1000 + 2) * 1000;
        const std::int64_t size = static_cast<std::int64_t>(reply.size());
        const std::int64_t inside = std::min<std::int64_t>(style.amount < 0 ? size / 2 : style.amount,
                                                           size - 1);
        trace_.add("< streamed, about " + std::to_string(inside) + " bytes inside the window: " +
                   Trace::shown(reply));
        return schedule(reply, std::max(windowEnd - inside, now + 20), true);
    }
    }
}

// Bytes go out one after the other: a reply never overtakes the one before it.
void ModelModem::schedule(std::string bytes, std::int64_t notBefore, bool streamed)
{
    if (bytes.empty())
        return;
    std::int64_t at = std::max(notBefore, lineFreeAt_);
    if (streamed) {
        // A byte a millisecond, none at the very millisecond a reply window ends (whole
        // seconds), so that which side of the window a byte falls on is plain.
        for (char c : bytes) {
            if (at % 1000 == 0)
                ++at;
            line_.emplace_back(at++, std::string(1, c));
        }
    } else {
        line_.emplace_back(at, std::move(bytes));
    }
    lineFreeAt_ = at;
    armTimer();
}

void ModelModem::armTimer()
{
    if (!line_.empty())
        timer_->start(line_.front().first - clock_.nowMs(), [this] { deliver(); });
}

void ModelModem::deliver()
{
    const std::int64_t now = clock_.nowMs();
    std::string bytes;
    while (!line_.empty() && line_.front().first <= now) {
        bytes += line_.front().second;
        line_.pop_front();
    }
    if (!bytes.empty()) {
        if (open_) {
            waiting_ += bytes;
            if (onBytesArrived)
                onBytesArrived();
        } else {
            lost_ += bytes;
        }
    }
    armTimer();
}

} // namespace zorvel::model

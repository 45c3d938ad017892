#include "HttpBodyReader.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace zorvel {

namespace {

// Chunk size lines and trailers are ours to hold: a server must not make them endless.
constexpr std::size_t lineLimit = 1024;
constexpr std::size_t trailerLimit = 32 * 1024;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The header lines of a head, folded continuations joined to the line before.
std::vector<std::pair<std::string_view, std::string>> HeaderLines(std::string_view head)
{
    std::vector<std::pair<std::string_view, std::string>> headers;
    std::size_t pos = head.find('\n');
    while (pos != std::string_view::npos && pos + 1 < head.size()) {
        const std::size_t end = head.find('\n', pos + 1);
        std::string_view line = head.substr(pos + 1, end == std::string_view::npos ? head.npos : end - pos - 1);
        pos = end;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;
        if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
            headers.back().second += ' ';
            headers.back().second += Trimmed(line);
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            headers.emplace_back(line.substr(0, colon), std::string(Trimmed(line.substr(colon + 1))));
        }
    }
    return headers;
}

// "123" -> 123; nothing for anything else, or for a length no body of ours could have.
std::optional<std::size_t> Decimal(std::string_view digits)
{
    if (digits.empty() || digits.size() > 18)
        return std::nullopt;
    std::size_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::size_t(c - '0');
    }
    return value;
}

} // namespace

HttpBodyReader::HttpBodyReader(std::string_view head, int status, std::size_t limit) : limit_(limit)
{
    readHead(head, status);
}

void HttpBodyReader::readHead(std::string_view head, int status)
{
    // These answers never have a body, whatever their headers say.
    if (status < 200 || status == 204 || status == 304) {
        state_ = State::Complete;
        return;
    }
    std::optional<std::size_t> length;
    bool lengthSeen = false;
    std::optional<std::string> coding;
    for (const auto& [name, value] : HeaderLines(head)) {
        if (SameName(name, "Content-Length")) {
            const auto n = Decimal(value);
            if (!n || (lengthSeen && length != n))
                return fail("the answer's Content-Length is unusable");
            lengthSeen = true;
            length = n;
        } else if (SameName(name, "Transfer-Encoding")) {
            if (coding)
                return fail("the answer's transfer coding is unusable");
            coding = value;
        }
    }
    if (coding) {
        // Nothing but chunked: we asked for no compression and decode none.
        if (!SameName(*coding, "chunked"))
            return fail("the answer's transfer coding is unusable");
        framing_ = Framing::Chunked;
    } else if (length) {
        framing_ = Framing::Length;
        length_ = *length;
        if (length_ > limit_)
            return fail("answer body over " + std::to_string(limit_) + " bytes");
        if (length_ == 0)
            state_ = State::Complete;
    }
}

HttpBodyReader::State HttpBodyReader::take(std::string_view bytes)
{
    if (state_ != State::Reading)
        return state_;
    switch (framing_) {
    case Framing::UntilClose:
        append(bytes);
        break;
    case Framing::Length: {
        const std::size_t wanted = std::min(bytes.size(), length_ - body_.size());
        // Bytes after the body are no part of it (and a server that sends them is odd, but
        // the body is whole all the same).
        if (append(bytes.substr(0, wanted)) && body_.size() == length_)
            state_ = State::Complete;
        break;
    }
    case Framing::Chunked:
        takeChunked(bytes);
        break;
    }
    return state_;
}

HttpBodyReader::State HttpBodyReader::closed()
{
    if (state_ != State::Reading)
        return state_;
    if (framing_ == Framing::UntilClose)
        state_ = State::Complete;
    else
        fail("the connection closed before the answer's body ended");
    return state_;
}

bool HttpBodyReader::append(std::string_view bytes)
{
    if (bytes.size() > limit_ - body_.size()) {
        fail("answer body over " + std::to_string(limit_) + " bytes");
        return false;
    }
    body_ += bytes;
    return true;
}

void HttpBodyReader::takeChunked(std::string_view bytes)
{
    while (!bytes.empty() && state_ == State::Reading) {
        if (step_ == ChunkStep::Data) {
            const std::size_t n = std::min(bytes.size(), length_);
            if (!append(bytes.substr(0, n)))
                return;
            bytes.remove_prefix(n);
            length_ -= n;
            if (length_ == 0)
                step_ = ChunkStep::DataEnd;
            continue;
        }
        // A line: the chunk's size, the line end after its data, or a trailer line.
        const std::size_t lf = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf);
        const std::size_t cap = step_ == ChunkStep::Trailer ? trailerLimit - trailer_ : lineLimit;
        if (line_.size() + piece.size() > cap)
            return fail(step_ == ChunkStep::Trailer ? "the answer's trailer is too long"
                                                    : "the answer's chunked body is malformed");
        line_ += piece;
        if (lf == std::string_view::npos)
            return;
        bytes.remove_prefix(lf + 1);
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos)
            return fail("the answer's chunked body is malformed");
        switch (step_) {
        case ChunkStep::Size:
            if (!chunkSizeLine(line))
                return fail("the answer's chunked body is malformed");
            break;
        case ChunkStep::DataEnd:
            if (!line.empty())
                return fail("the answer's chunked body is malformed");
            step_ = ChunkStep::Size;
            break;
        case ChunkStep::Trailer:
            trailer_ += line_.size() + 1;
            if (line.empty())
                state_ = State::Complete;
            break;
        case ChunkStep::Data: break;
        }
        line_.clear();
    }
}

// "1a;name=value" -> a chunk of 26 bytes; "0" ends the body (trailers follow).
bool HttpBodyReader::chunkSizeLine(std::string_view line)
{
    line = Trimmed(line.substr(0, line.find(';')));
    if (line.empty() || line.size() > 15)
        return false;
    std::size_t size = 0;
    for (char c : line) {
        const char l = Lower(c);
        const int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        size = size * 16 + std::size_t(digit);
    }
    if (size > limit_ - body_.size()) {
        fail("answer body over " + std::to_string(limit_) + " bytes");
        return true;
    }
    length_ = size;
    step_ = size == 0 ? ChunkStep::Trailer : ChunkStep::Data;
    return true;
}

void HttpBodyReader::fail(std::string why)
{
    if (state_ != State::Reading)
        return;
    state_ = State::Failed;
    failure_ = std::move(why);
    body_.clear();
}

} // namespace zorvel

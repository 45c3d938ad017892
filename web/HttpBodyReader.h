#pragma once
// The body of an HTTP/1.x answer, from the bytes that follow its head: framed by
// Content-Length, by chunked transfer coding, or by the end of the connection. Pure and
// incremental, and as suspicious as the head's parser: the server's bytes may lie about
// lengths, never end, or go on past any limit, and a body cut short is never whole.
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvel {

class HttpBodyReader {
public:
    enum class State { Reading, Complete, Failed };

    // `head` is a complete head as ParseResponseHead found it (status line included);
    // a body longer than `limit` bytes fails.
    HttpBodyReader(std::string_view head, int status, std::size_t limit);

    // The next bytes received after the head (or what was left of them).
    State take(std::string_view bytes);
    // The connection ended: whole only when the body runs until the close.
    State closed();

    State state() const { return state_; }
    // What came so far; whole once Complete.
    const std::string& body() const { return body_; }
    // Why it failed, printable; empty otherwise.
    const std::string& failure() const { return failure_; }

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    void readHead(std::string_view head, int status);
    bool append(std::string_view bytes);
    void takeChunked(std::string_view bytes);
    bool chunkSizeLine(std::string_view line);
    void fail(std::string why);

    std::size_t limit_;
    Framing framing_ = Framing::UntilClose;
    std::size_t length_ = 0; // Content-Length, or what is left of the current chunk
    ChunkStep step_ = ChunkStep::Size;
    std::string line_;       // a chunk's size line or a trailer line, so far
    std::size_t trailer_ = 0;
    std::string body_;
    std::string failure_;
    State state_ = State::Reading;
};

} // namespace zorvel

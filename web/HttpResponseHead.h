#pragma once
// The head of an HTTP/1.x answer (status line and header lines), read from the bytes
// received so far. The web server's bytes are as untrusted as the modem's: nothing here
// assumes they are well formed or that they ever end.
#include <cstddef>
#include <string_view>

namespace zorvel {

struct ResponseHead {
    enum class Outcome { Incomplete, Complete, Malformed };
    Outcome outcome = Outcome::Incomplete;
    int status = 0;          // 100 to 599 once complete
    std::size_t length = 0;  // bytes of the head, its blank line included, once complete
};

// One head from the start of `bytes`: "HTTP/1.x NNN reason", then "name: value" lines,
// then a blank line. Lines end in CRLF or a bare LF. Incomplete until the blank line is
// in; Malformed as soon as the bytes cannot be such a head (checked from the first byte,
// so a server that is no web server is told at once).
ResponseHead ParseResponseHead(std::string_view bytes);

} // namespace zorvel

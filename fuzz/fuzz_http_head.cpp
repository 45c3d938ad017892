// The head of the web server's answer, on arbitrary bytes. Properties: a complete head
// starts "HTTP/1.", ends with its line feed, has a status from 100 to 599 and reads the
// same on its own; one byte less of it is incomplete, never malformed or complete; a
// malformed start stays malformed whatever follows; an incomplete one has no status.
#include <cstdint>

#include "Check.h"
#include "HttpResponseHead.h"

using namespace zorvel;
using fuzz::Require;
using Outcome = ResponseHead::Outcome;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    const ResponseHead head = ParseResponseHead(input);
    switch (head.outcome) {
    case Outcome::Complete: {
        Require(head.length >= 12 && head.length <= size, "head length out of bounds");
        Require(input.starts_with("HTTP/1.") && input[head.length - 1] == '\n', "head not from HTTP/1. to a line end");
        Require(head.status >= 100 && head.status <= 599, "status out of range");
        const ResponseHead alone = ParseResponseHead(std::string_view(input).substr(0, head.length));
        Require(alone.outcome == Outcome::Complete && alone.status == head.status && alone.length == head.length,
                "the head reads differently without what follows it");
        const ResponseHead cut = ParseResponseHead(std::string_view(input).substr(0, head.length - 1));
        Require(cut.outcome == Outcome::Incomplete, "a head one byte short is not incomplete");
        break;
    }
    case Outcome::Malformed:
        Require(head.status == 0 && head.length == 0, "malformed with a status");
        Require(ParseResponseHead(input + "\r\n\r\nHTTP/1.1 200 OK\r\n\r\n").outcome == Outcome::Malformed,
                "malformed bytes became a head");
        break;
    case Outcome::Incomplete:
        Require(head.status == 0 && head.length == 0, "incomplete with a status");
        break;
    }
    return 0;
}

// The answer's body after its head, on arbitrary bytes: the first byte picks the limit
// (0 to 255) and where the rest is split in two. Properties: the outcome and the body do
// not depend on how the bytes arrive (all at once, in two pieces, a byte at a time); a
// whole body is never over the limit, a failed one holds nothing and says why; once
// whole or failed, more bytes or the close change nothing.
#include <cstdint>

#include "Check.h"
#include "HttpBodyReader.h"
#include "HttpResponseHead.h"

using namespace zorvel;
using fuzz::Require;
using State = HttpBodyReader::State;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t limit = data[0];
    const std::string input = fuzz::Bytes(data + 1, size - 1);
    const ResponseHead head = ParseResponseHead(input);
    if (head.outcome != ResponseHead::Outcome::Complete)
        return 0;
    const std::string_view headBytes = std::string_view(input).substr(0, head.length);
    const std::string_view rest = std::string_view(input).substr(head.length);

    HttpBodyReader whole(headBytes, head.status, limit);
    whole.take(rest);
    HttpBodyReader split(headBytes, head.status, limit);
    const std::size_t cut = rest.empty() ? 0 : data[0] % rest.size();
    split.take(rest.substr(0, cut));
    split.take(rest.substr(cut));
    HttpBodyReader bytes(headBytes, head.status, limit);
    for (char byte : rest)
        bytes.take(std::string_view(&byte, 1));
    for (const HttpBodyReader* r : {&split, &bytes})
        Require(r->state() == whole.state() && r->body() == whole.body() && r->failure() == whole.failure(),
                "the outcome depends on how the bytes arrived");

    Require(whole.body().size() <= limit, "a body over the limit");
    if (whole.state() == State::Failed)
        Require(whole.body().empty() && !whole.failure().empty(), "a failed body holds bytes or no reason");
    if (whole.state() != State::Reading) {
        const State before = whole.state();
        const std::string body = whole.body();
        whole.take("more");
        Require(whole.closed() == before && whole.body() == body, "a finished body changed");
    }
    return 0;
}

#pragma once
// The id a message gets when it is taken off the modem: a random UUID (version 4),
// lower-case, 36 characters. It goes with every try as the Idempotency-Key, so a web
// application can recognise a message it has already accepted.
#include <functional>
#include <string>

namespace zorvel {

// From the system's random source.
std::string NewMessageId();

// Tests may give their own.
using MessageIdSource = std::function<std::string()>;

} // namespace zorvel

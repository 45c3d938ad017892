#pragma once
// Whether "Dest" can be the forwarding address. Checked at start-up: an address that
// parses into something else than was written (a '#' cuts off the query with the
// message in it) must stop the program before any message is sent to it.
#include <optional>
#include <string>

namespace zorvel {

// Nothing for a usable http or https address; otherwise why not, as it reads after the
// value in the start-up message (", which holds a '#' ...").
std::optional<std::string> DestProblem(const std::string& dest);

} // namespace zorvel

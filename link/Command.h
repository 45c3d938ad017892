#pragma once
// One AT command as its sender knows it: the bytes to write and what they ask for. The
// held link takes from the kind how long the reply may take, whether it may carry a
// message's text and whether the "> " prompt ends it; the reply window gives every
// command the same window.
#include <string>

namespace zorvel {

enum class CommandKind {
    Query,       // a setting or a status: a short reply ending with its final result code
    List,        // the inbox listed: the texts of many messages
    Read,        // one slot read: a message's text
    Delete,      // one slot deleted: a short reply
    Recipient,   // "AT+CMGS=": answered with the "> " prompt for the text
    MessageText, // an outgoing message's text and Ctrl-Z: answered once the network took it
    // An outbox message's PDU and Ctrl-Z: as MessageText, and the reply window too stays
    // open until the final result code (up to a minute), since the answer decides whether
    // the message went out.
    Submit,
};

struct Command {
    CommandKind kind = CommandKind::Query;
    std::string bytes;
};

} // namespace zorvel

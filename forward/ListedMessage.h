#pragma once
// One message as it goes to the web application from the modem's list: a single entry, or
// the parts of a long one joined, with what identifies it from cycle to cycle.
#include <cstddef>
#include <string>
#include <vector>

#include "MessageKey.h"

namespace zorvel {

// One message to forward: a single entry, or the parts of a long one.
struct ListedMessage {
    std::string sender, stamp, text; // what the request carries
    std::string shownStamp, shownText; // what the window shows
    std::vector<std::string> indexes; // every entry to delete after a 2xx, duplicates too
    int parts = 1;                    // parts joined (missing ones not counted)
    std::size_t textLength = 0;       // characters of the text (UTF-8 decoded)

    // Internal: what identifies it from cycle to cycle.
    MessageKey key;
    // Each entry as listed, with what it holds as a read of its slot shows it: accepted
    // content is what a delete checks the slot for. Text mode: the list's until the read,
    // whose header must match it.
    struct Entry { EntryKey listed; ContentKey content; };
    std::vector<Entry> entries;
    bool partsMissing = false;
};

} // namespace zorvel

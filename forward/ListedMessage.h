#pragma once
// One message as it goes to the web application from the modem's list: a single entry, or
// the parts of a long one joined, with what identifies it from cycle to cycle.
#include <cstddef>
#include <string>
#include <vector>

namespace zorvel {

// One message to forward: a single entry, or the parts of a long one.
struct ListedMessage {
    std::string sender, stamp, text; // what the request carries
    std::string shownStamp, shownText; // what the window shows
    std::string listedSender, listedTime; // text mode: the list header's, to check a read by
    std::vector<std::string> indexes; // every entry to delete after a 2xx, duplicates too
    int parts = 1;                    // parts joined (missing ones not counted)
    std::size_t textLength = 0;       // characters of the text (UTF-8 decoded)

    // Internal: what identifies it from cycle to cycle.
    std::string key;                  // the entry, or the long message's sender/reference/count
    std::vector<std::string> entryKeys;
    // What each entry holds, as a read of its slot shows it: accepted content is what a
    // delete checks the slot for. Parallel to entryKeys.
    std::vector<std::string> contentKeys;
    bool partsMissing = false;
};

} // namespace zorvel

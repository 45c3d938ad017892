#pragma once
// The modem's bytes handed out a whole line at a time, for the lines the held link reads
// outside a reply: its own announcements, and the answers to its own "AT". A line that
// grows past `longest` bytes without its end is junk: it is dropped, and dropped() says so.
#include <cstddef>
#include <string>
#include <vector>

namespace zorvel {

class LineBuffer {
public:
    explicit LineBuffer(std::size_t longest = 512) : longest_(longest) {}

    // Adds `bytes`; returns the lines they completed, without their LF.
    std::vector<std::string> feed(const std::string& bytes);
    // The last feed dropped an unended line.
    bool dropped() const { return dropped_; }
    void clear() { held_.clear(); }

private:
    std::size_t longest_;
    std::string held_;
    bool dropped_ = false;
};

} // namespace zorvel

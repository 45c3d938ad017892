#pragma once
// Follows a reply as it streams in and tells whether it ends with its final result
// code, with the modem's own lines after it (each with the empty line in front) set
// aside, as FinalResultAt does for a whole reply. Each line is looked at once, so a
// modem announcing without pause costs neither time nor a missed result code.
#include <string>
#include <string_view>

namespace zorvel {

class ReplyEnd {
public:
    void clear() { *this = ReplyEnd(); }
    void feed(std::string_view piece);
    // The reply so far ends with a line end, and its last line that is not the modem's
    // own is a final result code.
    bool final() const;

private:
    void lineEnded();

    std::string line_;       // the line under way, bytes 0..30 dropped
    bool lineTooLong_ = false; // far longer than any result code or own line
    bool endsWithLf_ = false;
    std::string last_;       // the last line that counts
    std::string beforeEmpty_; // the one before it, when the last was empty
    bool lastEmpty_ = false;
};

} // namespace zorvel

#include "ReplyEnd.h"

#include "ReplyShape.h"

namespace zorvel {

namespace {
constexpr std::size_t longestLooked = 512; // result codes and own lines are far shorter
constexpr const char* longLine = "\x01"; // stands for a line too long to be either
} // namespace

void ReplyEnd::feed(std::string_view piece)
{
    for (char c : piece) {
        if (static_cast<unsigned char>(c) > 30) {
            if (line_.size() < longestLooked)
                line_ += c;
            else
                lineTooLong_ = true;
        }
        if (c == '\n')
            lineEnded();
    }
    if (!piece.empty())
        endsWithLf_ = piece.back() == '\n';
}

void ReplyEnd::lineEnded()
{
    if (lineTooLong_) {
        last_ = longLine;
        lastEmpty_ = false;
    } else if (line_.empty()) {
        beforeEmpty_ = last_;
        last_.clear();
        lastEmpty_ = true;
    } else if (lastEmpty_ && IsUnsolicited(line_)) {
        last_ = beforeEmpty_; // "\r\n<own line>\r\n" counts for nothing
        lastEmpty_ = false;
    } else {
        last_ = line_;
        lastEmpty_ = false;
    }
    line_.clear();
    lineTooLong_ = false;
}

bool ReplyEnd::final() const
{
    return endsWithLf_ && IsFinalResult(last_);
}

} // namespace zorvel

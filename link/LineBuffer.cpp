#include "LineBuffer.h"

namespace zorvel {

std::vector<std::string> LineBuffer::feed(const std::string& bytes)
{
    held_ += bytes;
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = held_.find('\n', start)) != std::string::npos; start = lf + 1)
        lines.push_back(held_.substr(start, lf - start));
    held_.erase(0, start);
    dropped_ = held_.size() > longest_;
    if (dropped_)
        held_.clear();
    return lines;
}

} // namespace zorvel

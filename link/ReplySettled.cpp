#include "ReplySettled.h"

#include "ReplyShape.h"

namespace zorvel {

bool OnlyOwnLines(const std::string& bytes)
{
    for (const std::string& line : ReplyLines(bytes))
        if (!line.empty() && !IsUnsolicited(line))
            return false;
    return true;
}

std::string WholeLines(const std::string& bytes)
{
    return bytes.substr(0, bytes.rfind('\n') + 1); // npos + 1 is 0
}

} // namespace zorvel

// The local zone from Qt, kept apart so that ModemTimeStamp stays a pure function.
#include <QDateTime>

#include "ModemTimeStamp.h"

namespace zorvel {

int LocalUtcOffsetSeconds(std::int64_t utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc();
}

} // namespace zorvel

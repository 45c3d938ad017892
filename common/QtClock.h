#pragma once
// The real clock: wall-clock milliseconds, the local time stamp, and precise QTimers (a
// coarse timer may wake up to 5 % early or late, which would blur the reply window).
#include <QDateTime>
#include <QString>

#include "Clock.h"

namespace zorvel {

class QtClock : public Clock {
public:
    std::int64_t nowMs() const override;
    std::string timeStamp() const override;
    std::unique_ptr<OneShotTimer> createTimer() override;

    // YYYY-MM-DD hh:mm:ss, two digits for month, day, hours, minutes and seconds.
    static std::string stampOf(const QDateTime& moment);
};

} // namespace zorvel

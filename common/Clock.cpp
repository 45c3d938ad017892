#include "Clock.h"

namespace zorvel {

std::int64_t Clock::wholeSeconds() const
{
    const std::int64_t ms = nowMs();
    // Floor division, so that a clock before 1970 still counts whole seconds correctly.
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

} // namespace zorvel

#include "ModemTimeStamp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace zorvel {

std::string ModemTimeStamp(std::int64_t utcMs, int utcOffsetSeconds)
{
    using namespace std::chrono;
    const sys_time<milliseconds> local{milliseconds(utcMs) + seconds(utcOffsetSeconds)};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{local - day};
    const int quarters = utcOffsetSeconds / 900;
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02u/%02u,%02ld:%02ld:%02ld%c%02d",
                  ((int(date.year()) % 100) + 100) % 100, unsigned(date.month()), unsigned(date.day()),
                  long(time.hours().count()), long(time.minutes().count()), long(time.seconds().count()),
                  quarters < 0 ? '-' : '+', std::abs(quarters));
    return text;
}

} // namespace zorvel

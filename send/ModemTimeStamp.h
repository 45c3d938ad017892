#pragma once
// A moment written as the modem writes its time stamps, "yy/MM/dd,hh:mm:ss±zz" with the
// zone in quarter hours: the web application reads the state reports' times as it reads
// the received messages' times.
#include <cstdint>
#include <string>

namespace zorvel {

// (utcMs, offset from UTC in seconds) -> local time, e.g. "26/12/08,10:00:04+04". An
// offset that is no whole number of quarter hours is written rounded toward zero.
std::string ModemTimeStamp(std::int64_t utcMs, int utcOffsetSeconds);

// The local zone's offset from UTC in seconds at that moment, as the system knows it.
int LocalUtcOffsetSeconds(std::int64_t utcMs);

} // namespace zorvel

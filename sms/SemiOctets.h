#pragma once
// Fields of an SMS PDU written in semi-octets (swapped BCD digits): address digits and
// the service centre time stamp.
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvel {

// The first `count` digits of an address, low nibble first. 0-9 as digits; A-E as the
// extra BCD digits * # a b c; F, the filler, is dropped.
std::string SemiOctetDigits(std::string_view octets, std::size_t count);

// The 7 octets of a service centre time stamp as "yy/MM/dd,hh:mm:ss+zz": the zone in
// quarter hours, its sign from bit 3 of the zone's first (tens) digit. A nibble above 9
// shows as its hex digit, so a damaged stamp still has this shape.
std::string ServiceCentreStamp(std::string_view sevenOctets);

} // namespace zorvel

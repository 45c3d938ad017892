#pragma once
// What the window shows for each status query, decoded from the reply bytes alone.
// Every decoder reads line 1 of the reply (line 0 is the echo, or empty without echo)
// and never fails: an ERROR or an unexpected shape gives odd or empty text, shown as is.
#include <array>
#include <string>


namespace zorvel {

// AT+CNUM, "\r\n+CNUM: \"\",\"+447700900123\",145\r\n\r\nOK\r\n" -> "+447700900123".
std::string DecodeCNUM(const std::string& answer);

// AT^SYSINFO, "\r\n^SYSINFO:2,3,0,5,1,,4\r\n\r\nOK\r\n" -> "In Service | Home | 3G | SIM OK".
std::string DecodeSYSINFO(const std::string& answer);

// AT+GSN, "\r\n356938035643809\r\n\r\nOK\r\n" -> "356938035643809".
std::string DecodeGSN(const std::string& answer);

// AT+CIMI, "\r\n234101234567890\r\n\r\nOK\r\n" -> "234101234567890".
std::string DecodeCIMI(const std::string& answer);

struct SignalBars {
    std::string text;
    std::array<bool, 5> lit{}; // the five boxes beside the text
};

// AT+CSQ, "\r\n+CSQ: 18,99\r\n\r\nOK\r\n" -> "OOOO_", boxes 1 to 4 lit.
SignalBars DecodeCSQ(const std::string& answer);

// AT+COPS?, "\r\n+COPS: 0,2,\"23410\",2\r\n\r\nOK\r\n" -> "O2 UK".
std::string DecodeCOPS(const std::string& answer);

} // namespace zorvel

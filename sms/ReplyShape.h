#pragma once
// The shape of a modem's reply, as far as a message list or a single read needs it:
// its lines, its final result code and the unsolicited lines a modem drops in on its
// own. A text in text mode can hold any line, so a line is never taken for a final
// result code unless it is the reply's last, nor for an unsolicited line unless it has
// that line's whole shape.
#include <cstddef>
#include <string>
#include <vector>

namespace zorvel {

// The reply split at LF, bytes 0..30 dropped from each line (CR among them). The piece
// after the last LF counts as a line too, as it does for GetAnswerLine.
std::vector<std::string> ReplyLines(const std::string& reply);

// "OK", "ERROR", "+CMS ERROR: <n>" or "+CME ERROR: <n>" (number or words).
bool IsFinalResult(const std::string& line);

// A whole unsolicited line: "RING", "+CMTI: \"SM\",3", "^RSSI:18", "+CREG: 1,\"00C3\",\"1A2B\""...
// A known name followed by plain values (numbers, quoted strings, empty), nothing else:
// "RINGTONE offer" or "+CMTI: call us" is text.
bool IsUnsolicited(const std::string& line);

// Where the reply's final result code stands: the last line, once an empty piece after
// the last LF and unsolicited lines that came after the result (each with the empty
// line in front of it) are set aside. `lines.size()` when the reply has none: it was
// cut short or never came.
std::size_t FinalResultAt(const std::vector<std::string>& lines);
// The reply ended, and with "OK".
bool EndsWithOk(const std::vector<std::string>& lines);

} // namespace zorvel

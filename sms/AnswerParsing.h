#pragma once
// The four small text rules every reply decoder is built from. They work on the modem's
// bytes by fixed positions and never fail; an answer of another shape simply yields odd
// or empty text, which the window shows like any other.
#include <string>

namespace zorvel {

// Line n of an answer without bytes 0..30: ("AT+CSQ\r\r\n+CSQ: 18,99\r\n", 1) -> "+CSQ: 18,99".
std::string GetAnswerLine(const std::string& answer, int n);

// Drops the first six bytes and the last one: "+CSQ: 18,99" -> "18,9".
std::string CutAnswerPrefix(const std::string& line);

// Field k with its leading comma: (" 0,2,\"23410\",", 2) -> ",\"23410\"".
std::string GetCommaField(const std::string& text, int k);

// Drops comma and opening quote, then the closing quote: ",\"23410\"" -> "23410".
std::string StripQuotes(const std::string& field);

} // namespace zorvel

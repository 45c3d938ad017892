// The four answer-parsing rules, the status decoders and the rule for a settled reply on
// arbitrary reply bytes: no crash, no sanitizer report, and outputs bounded by (and
// mostly made of) the input.
#include <algorithm>
#include <cstdint>

#include "AnswerParsing.h"
#include "Check.h"
#include "ReplySettled.h"
#include "ReplyShape.h"
#include "StatusDecoders.h"

using namespace zorvel;
using fuzz::Require;

namespace {

void CheckLines(const std::string& answer)
{
    const int lineCount = int(std::count(answer.begin(), answer.end(), '\n')) + 1;
    // Each line is made of kept input bytes only, and a line past the end is empty.
    for (int n : {-1, 0, 1, 2, lineCount - 1, lineCount, lineCount + 1}) {
        const std::string line = GetAnswerLine(answer, n);
        Require(line.size() <= answer.size(), "GetAnswerLine longer than its input");
        Require(!fuzz::HasControlByte(line), "GetAnswerLine kept a byte 0..30");
        if (n < 0 || n >= lineCount)
            Require(line.empty(), "GetAnswerLine found a line past the end");
    }
    // The lines together are the answer without its bytes 0..30: nothing lost, nothing
    // doubled. Quadratic, so only for answers of a few lines.
    if (lineCount <= 32) {
        std::string joined, kept;
        for (int n = 0; n < lineCount; ++n)
            joined += GetAnswerLine(answer, n);
        for (char c : answer)
            if (static_cast<unsigned char>(c) > 30)
                kept += c;
        Require(joined == kept, "GetAnswerLine lines do not add up to the answer");
    }
}

void CheckFields(const std::string& text)
{
    const std::string cut = CutAnswerPrefix(text);
    Require(cut.size() <= text.size() && fuzz::Within(cut, text), "CutAnswerPrefix not a part of its input");
    const std::string stripped = StripQuotes(text);
    Require(stripped.size() <= text.size() && fuzz::Within(stripped, text), "StripQuotes not a part of its input");

    // The comma fields split the text: field k>0 starts at its comma, and all of them in
    // order give the text back.
    const int commas = int(std::count(text.begin(), text.end(), ','));
    if (commas > 64)
        return;
    std::string joined;
    for (int k = 0; k <= commas + 1; ++k) {
        const std::string field = GetCommaField(text, k);
        if (k > commas)
            Require(field.empty(), "GetCommaField found a field past the last comma");
        if (k > 0 && !field.empty())
            Require(field.front() == ',', "GetCommaField field without its leading comma");
        joined += field;
    }
    Require(joined == text, "GetCommaField fields do not add up to the text");
}

// Only own lines at a reply's end: never a final result code among them, and the bytes
// split at their last LF are own lines on both sides exactly when the whole is.
void CheckSettled(const std::string& bytes)
{
    const std::string whole = WholeLines(bytes);
    Require(bytes.starts_with(whole) && (whole.empty() || whole.back() == '\n') &&
                bytes.find('\n', whole.size()) == std::string::npos,
            "WholeLines not the bytes up to their last LF");
    const bool own = OnlyOwnLines(bytes);
    Require(own == (OnlyOwnLines(whole) && OnlyOwnLines(bytes.substr(whole.size()))),
            "OnlyOwnLines differs once split at the last LF");
    const std::vector<std::string> lines = ReplyLines(bytes);
    Require(!own || FinalResultAt(lines) == lines.size(), "OnlyOwnLines let a final result code pass");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string answer = fuzz::Bytes(data, size);
    CheckLines(answer);
    CheckFields(answer);
    CheckFields(GetAnswerLine(answer, 1));
    CheckSettled(answer);

    Require(DecodeCNUM(answer).size() <= size, "DecodeCNUM longer than the reply");
    Require(DecodeGSN(answer).size() <= size, "DecodeGSN longer than the reply");
    Require(DecodeCIMI(answer).size() <= size, "DecodeCIMI longer than the reply");
    // Table texts may replace a field: at most the longest one ("SIM Locked/Missing") each.
    Require(DecodeSYSINFO(answer).size() <= size + 3 * 3 + 4 * 18, "DecodeSYSINFO grew past its table texts");
    Require(DecodeCSQ(answer).text.size() <= std::max<std::size_t>(size, 5), "DecodeCSQ grew");
    Require(DecodeCOPS(answer).size() <= std::max<std::size_t>(size, 11), "DecodeCOPS grew");
    return 0;
}

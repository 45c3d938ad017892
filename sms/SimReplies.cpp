#include "SimReplies.h"

#include <algorithm>
#include <cctype>

#include "ByteEscape.h"
#include "ReplyShape.h"

namespace zorvel {

namespace {

std::string Trimmed(std::string text)
{
    const auto blank = [](unsigned char c) { return c == ' ' || c == '"'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

std::optional<int> Number(const std::string& text)
{
    const std::string digits = Trimmed(text);
    if (digits.empty() || digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(digits);
}

} // namespace

PinState DecodePinState(const std::string& reply)
{
    PinState state;
    for (const std::string& line : ReplyLines(reply)) {
        if (!line.starts_with("+CPIN:"))
            continue;
        const std::string code = Trimmed(line.substr(6));
        state.shown = EscapeBytes(HidePin(code));
        if (code == "READY")
            state.kind = PinState::Kind::Ready;
        else if (code == "SIM PIN")
            state.kind = PinState::Kind::SimPin;
        else if (code == "SIM PUK")
            state.kind = PinState::Kind::SimPuk;
        else
            state.kind = PinState::Kind::OtherLock;
        return state;
    }
    state.shown = FinalResultOf(reply);
    return state;
}

std::string FinalResultOf(const std::string& reply)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    const std::size_t at = FinalResultAt(lines);
    return at < lines.size() ? EscapeBytes(HidePin(lines[at])) : std::string();
}

std::optional<StorageFill> DecodeStorageFill(const std::string& reply)
{
    for (const std::string& line : ReplyLines(reply)) {
        if (!line.starts_with("+CPMS:"))
            continue;
        // "+CPMS: 3,30,..." after a choice; "+CPMS: "SM",3,30,..." when asked.
        std::string values = line.substr(6);
        const std::size_t first = values.find(',');
        if (first == std::string::npos)
            return std::nullopt;
        std::size_t usedAt = 0;
        if (Trimmed(values.substr(0, first)).find_first_not_of("0123456789") != std::string::npos)
            usedAt = first + 1;
        const std::size_t comma = values.find(',', usedAt);
        if (comma == std::string::npos)
            return std::nullopt;
        const std::size_t end = values.find(',', comma + 1);
        const auto used = Number(values.substr(usedAt, comma - usedAt));
        const auto total = Number(values.substr(comma + 1, end == std::string::npos ? std::string::npos
                                                                                    : end - comma - 1));
        if (!used || !total || *total == 0)
            return std::nullopt;
        return StorageFill{*used, *total};
    }
    return std::nullopt;
}

namespace {
std::string& PinToHide()
{
    static std::string pin;
    return pin;
}
} // namespace

void SetPinToHide(const std::string& pin)
{
    PinToHide() = pin;
}

std::string HidePinDigits(const std::string& text)
{
    const std::string& pin = PinToHide();
    if (pin.empty())
        return text;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string out;
    std::size_t done = 0;
    for (std::size_t at = 0; (at = text.find(pin, at)) != std::string::npos;) {
        const std::size_t end = at + pin.size();
        if ((at > 0 && digit(text[at - 1])) || (end < text.size() && digit(text[end]))) {
            ++at;
            continue;
        }
        out.append(text, done, at - done).append("<hidden>");
        done = at = end;
    }
    return out.append(text, done);
}

std::string HidePin(const std::string& text)
{
    static const std::string marker = "+CPIN=";
    std::string out = text;
    for (std::size_t at = 0; (at = out.find(marker, at)) != std::string::npos;) {
        const std::size_t from = at + marker.size();
        std::size_t end = out.find_first_of("\r\n", from);
        if (end == std::string::npos)
            end = out.size();
        out.replace(from, end - from, "<hidden>");
        at = from;
    }
    return HidePinDigits(out);
}

} // namespace zorvel

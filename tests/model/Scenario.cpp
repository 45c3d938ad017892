#include "Scenario.h"

#include <algorithm>

#include "HexDigit.h"
#include "SmsDeliver.h"
#include "fakes/PduBuilder.h"

namespace zorvel::model {

namespace {

constexpr std::size_t mostSteps = 400;
constexpr std::size_t longestText = 1000;

std::u16string unescaped(std::string_view text)
{
    std::u16string units;
    for (std::size_t i = 0; i < text.size() && units.size() < longestText; ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            units += static_cast<char16_t>(static_cast<unsigned char>(c));
            continue;
        }
        const char e = text[++i];
        const std::size_t digits = e == 'x' ? 2 : e == 'u' ? 4 : 0;
        if (digits) {
            unsigned value = 0;
            std::size_t n = 0;
            for (; n < digits && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0; ++n)
                value = value * 16 + static_cast<unsigned>(HexDigit(text[++i]));
            units += n ? static_cast<char16_t>(value) : static_cast<char16_t>(e);
            continue;
        }
        units += e == 'r' ? u'\r' : e == 'n' ? u'\n' : e == 't' ? u'\t' : static_cast<char16_t>(e);
    }
    return units;
}

// Bytes for a text-mode body: a unit up to 0xFF is that byte, a larger one its UTF-8.
std::string textBytes(const std::u16string& units)
{
    std::string out;
    for (char16_t u : units)
        out += u <= 0xFF ? std::string(1, static_cast<char>(u)) : Utf16ToUtf8(std::u16string(1, u));
    return out;
}

// What a modem can print inside the quotes of the sender and the stamp.
std::string kept(std::string_view text, std::string_view allowed, std::size_t longest)
{
    std::string out;
    for (char c : text) {
        const bool printable = c > ' ' && c < 0x7F;
        if (out.size() < longest && (allowed.empty() ? printable && c != '"' && c != ','
                                                     : allowed.find(c) != std::string_view::npos))
            out += c;
    }
    return out;
}

std::string digitsOf(const std::string& sender)
{
    const std::string digits = kept(sender, "0123456789", 20);
    return digits.empty() ? "15550001234" : digits;
}

int number(std::string_view text, int fallback, int lowest, int highest)
{
    int value = 0;
    bool any = false, negative = false;
    for (char c : text) {
        if (c == '-' && !any)
            negative = true;
        else if (c >= '0' && c <= '9')
            value = std::min(value * 10 + (c - '0'), 1'000'000), any = true;
    }
    return any ? std::clamp(negative ? -value : value, lowest, highest) : fallback;
}

std::vector<std::string_view> fields(std::string_view text, std::size_t count)
{
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const std::size_t bar = text.find('|');
        if (bar == std::string_view::npos)
            break;
        out.push_back(text.substr(0, bar));
        text.remove_prefix(bar + 1);
    }
    out.push_back(text); // the last field keeps any further bars
    while (out.size() < count)
        out.emplace_back();
    return out;
}

std::optional<Instruction> parsed(std::string_view word, std::string_view rest, Scenario& scenario)
{
    Instruction step;
    using Kind = Instruction::Kind;
    if (word == "phase") {
        scenario.phaseMs = number(rest, 0, 0, 999);
        return std::nullopt;
    }
    if (word == "echo") {
        step.kind = Kind::Echo;
        step.number = rest == "on";
    } else if (word == "sms") {
        const auto f = fields(rest, 3);
        step.kind = Kind::Sms;
        step.sender = std::string(f[0]);
        step.stamp = std::string(f[1]);
        step.units = unescaped(f[2]);
    } else if (word == "part") {
        const auto f = fields(rest, 5);
        step.kind = Kind::Part;
        step.sender = std::string(f[0]);
        step.reference = number(f[1], -1, -1, 65535);
        step.count = number(f[2], 0, 0, 255);
        step.sequence = number(f[3], 0, 0, 255);
        step.units = unescaped(f[4]);
    } else if (word == "pdu") {
        step.kind = Kind::Pdu;
        step.word = std::string(rest);
    } else if (word == "modem") {
        step.kind = Kind::Modem;
        const std::size_t blank = rest.find(' ');
        if (blank != std::string_view::npos) {
            step.word = std::string(rest.substr(0, blank));
            rest.remove_prefix(blank + 1);
        }
        step.styles = std::string(rest);
    } else if (word == "web") {
        step.kind = Kind::Web;
        step.styles = std::string(rest);
    } else if (word == "traffic") {
        step.kind = Kind::Traffic;
        step.number = number(rest, 0, 0, 3600);
    } else if (word == "run") {
        step.kind = Kind::Run;
        step.number = number(rest, 0, 0, 600);
    } else {
        return std::nullopt;
    }
    return step;
}

} // namespace

Scenario ParseScenario(std::string_view script)
{
    Scenario scenario;
    bool modeSet = false;
    while (!script.empty() && scenario.steps.size() < mostSteps) {
        const std::size_t end = std::min(script.find('\n'), script.size());
        std::string_view line = script.substr(0, end);
        script.remove_prefix(std::min(end + 1, script.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::size_t blank = std::min(line.find(' '), line.size());
        const std::string_view word = line.substr(0, blank);
        const std::string_view rest = line.substr(std::min(blank + 1, line.size()));
        if (word == "mode") {
            if (!modeSet)
                scenario.mode = rest == "pdu" ? Mode::Pdu : rest == "decoded" ? Mode::Decoded : Mode::Text;
            modeSet = true;
        } else if (word == "store") {
            scenario.store = rest == "on";
        } else if (word == "link") {
            scenario.fastLink = rest == "fast";
        } else if (auto step = parsed(word, rest, scenario)) {
            scenario.steps.push_back(std::move(*step));
        }
    }
    return scenario;
}

StoredMessage MessageFor(const Instruction& step, Mode mode, const std::string& clockStamp)
{
    StoredMessage m;
    using Kind = Instruction::Kind;
    if (step.kind == Kind::Pdu) {
        for (char c : step.word)
            if (HexDigit(c) >= 0 && m.hex.size() < 2 * longestText)
                m.hex += static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
        m.oa = "+15550001234";
        m.scts = clockStamp;
        m.text = m.hex;
        // Decoded mode reads any SMS-DELIVER among them like the ones built here (the
        // decoder has tests and a fuzz target of its own).
        m.decodes = false;
        if (const auto sms = DecodeSmsDeliver(m.hex)) {
            m.decodes = true;
            m.decodedSender = sms->sender;
            m.decodedText = sms->coding == SmsCoding::EightBit ? HexDigits(sms->octets)
                                                               : Utf16ToUtf8(sms->units);
        }
        return m;
    }
    const bool part = step.kind == Kind::Part;
    if (mode == Mode::Text) {
        m.oa = part ? "+" + digitsOf(step.sender) : kept(step.sender, {}, 20);
        if (m.oa.empty())
            m.oa = "+15550001234";
        m.scts = kept(step.stamp, "0123456789/,:+-", 25);
        if (m.scts.empty())
            m.scts = clockStamp;
        m.text = part ? Utf16ToUtf8(step.units) : textBytes(step.units);
        return m;
    }
    testing::PduFields pdu;
    pdu.sender = digitsOf(step.sender);
    const bool concatenated = part && step.count > 0;
    pdu.text = step.units.substr(0, concatenated ? 67 : 70);
    if (concatenated) {
        pdu.reference = std::max(step.reference, 0);
        pdu.count = step.count;
        pdu.sequence = step.sequence;
        pdu.sixteenBitReference = pdu.reference > 255;
    }
    m.hex = testing::BuildPdu(pdu);
    m.decodes = true;
    m.decodedSender = "+" + pdu.sender;
    m.decodedText = Utf16ToUtf8(pdu.text);
    return m;
}

} // namespace zorvel::model

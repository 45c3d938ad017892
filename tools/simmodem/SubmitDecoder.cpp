#include "SubmitDecoder.h"

#include "Pdu.h"

namespace zorvel::sim {

namespace {

constexpr int kMaxSeptets = 160;
constexpr int kMaxOctets = 140;

// Every read is checked against the end; a short PDU fails instead of reading past it.
class Reader {
public:
    explicit Reader(const QByteArray& octets) : m_octets(octets) {}
    std::optional<int> octet()
    {
        if (m_pos >= m_octets.size()) return std::nullopt;
        return static_cast<unsigned char>(m_octets[m_pos++]);
    }
    std::optional<QByteArray> take(qsizetype count)
    {
        if (count < 0 || count > left()) return std::nullopt;
        const QByteArray out = m_octets.mid(m_pos, count);
        m_pos += count;
        return out;
    }
    qsizetype left() const { return m_octets.size() - m_pos; }
    qsizetype position() const { return m_pos; }

private:
    const QByteArray& m_octets;
    qsizetype m_pos = 0;
};

QByteArray unpack(const QByteArray& octets, int count)
{
    QByteArray out;
    unsigned accumulator = 0;
    int bits = 0;
    qsizetype i = 0;
    while (out.size() < count) {
        if (bits < 7) {
            accumulator |= static_cast<unsigned>(static_cast<unsigned char>(i < octets.size() ? octets[i] : 0)) << bits;
            ++i;
            bits += 8;
        }
        out += static_cast<char>(accumulator & 0x7F);
        accumulator >>= 7;
        bits -= 7;
    }
    return out;
}

// Semi-octet digits; 0xF only as the filler of an odd count.
std::optional<QByteArray> digits(const QByteArray& octets, int count)
{
    static const char kDigits[] = "0123456789*#abc";
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int octet = static_cast<unsigned char>(octets[i / 2]);
        const int nibble = i % 2 ? octet >> 4 : octet & 0xF;
        if (nibble == 0xF) return std::nullopt;
        out += kDigits[nibble];
    }
    if (count % 2 && (static_cast<unsigned char>(octets[count / 2]) >> 4) != 0xF) return std::nullopt;
    return out;
}

SubmitAlphabet alphabetOf(int dcs, bool* known)
{
    *known = true;
    const int group = dcs >> 4;
    if (group <= 7) {  // general data coding (and its automatic-deletion form)
        if (dcs & 0x20) *known = false;  // compressed
        const int bits = (dcs >> 2) & 3;
        if (bits == 3) *known = false;
        return bits == 1 ? SubmitAlphabet::Bits8 : bits == 2 ? SubmitAlphabet::Ucs2 : SubmitAlphabet::Gsm7;
    }
    if (group == 0xE) return SubmitAlphabet::Ucs2;
    if (group == 0xF) return dcs & 0x04 ? SubmitAlphabet::Bits8 : SubmitAlphabet::Gsm7;
    return SubmitAlphabet::Gsm7;  // message waiting groups and the reserved ones
}

// The concatenation element among the header's elements; an error text when one is bad.
QString readHeader(const QByteArray& header, std::optional<SubmitConcatenation>* concatenation)
{
    qsizetype p = 0;
    while (p < header.size()) {
        if (p + 2 > header.size()) return QStringLiteral("header element cut short");
        const int id = static_cast<unsigned char>(header[p]);
        const int length = static_cast<unsigned char>(header[p + 1]);
        if (p + 2 + length > header.size()) return QStringLiteral("header element longer than the header");
        const QByteArray value = header.mid(p + 2, length);
        const auto at = [&](int i) { return static_cast<int>(static_cast<unsigned char>(value[i])); };
        if (id == 0x00 || id == 0x08) {
            const bool wide = id == 0x08;
            if (length != (wide ? 4 : 3)) return QStringLiteral("concatenation element of length %1").arg(length);
            if (*concatenation) return QStringLiteral("two concatenation elements");
            SubmitConcatenation c;
            c.reference16 = wide;
            c.reference = wide ? (at(0) << 8) | at(1) : at(0);
            c.count = at(wide ? 2 : 1);
            c.sequence = at(wide ? 3 : 2);
            if (c.count < 1 || c.sequence < 1 || c.sequence > c.count)
                return QStringLiteral("part %1 of %2").arg(c.sequence).arg(c.count);
            *concatenation = c;
        }
        p += 2 + length;
    }
    return {};
}

QString ucs2Text(const QByteArray& octets)
{
    QString text;
    for (qsizetype i = 0; i + 1 < octets.size(); i += 2)
        text += QChar(static_cast<char16_t>((static_cast<unsigned char>(octets[i]) << 8) |
                                            static_cast<unsigned char>(octets[i + 1])));
    return text;
}

} // namespace

SubmitResult decodeSubmit(const QByteArray& octets)
{
    const auto fail = [](const QString& why) { return SubmitResult{std::nullopt, why}; };
    Reader r(octets);
    const auto smscLength = r.octet();
    if (!smscLength || !r.take(*smscLength)) return fail(QStringLiteral("SMSC part cut short"));
    Submit s;
    s.tpduLength = static_cast<int>(r.left());
    const auto first = r.octet();
    if (!first) return fail(QStringLiteral("no TPDU"));
    s.firstOctet = *first;
    if ((s.firstOctet & 0x03) != 0x01) return fail(QStringLiteral("TP-MTI %1 is no SMS-SUBMIT").arg(s.firstOctet & 3));
    s.validityFormat = (s.firstOctet >> 3) & 0x03;
    s.reportWanted = s.firstOctet & 0x20;
    const bool hasHeader = s.firstOctet & 0x40;

    const auto reference = r.octet();
    const auto addressDigits = r.octet();
    const auto addressType = r.octet();
    if (!reference || !addressDigits || !addressType) return fail(QStringLiteral("TP-DA cut short"));
    s.reference = *reference;
    s.recipientType = *addressType;
    if (*addressDigits == 0 || *addressDigits > 20 || !(s.recipientType & 0x80))
        return fail(QStringLiteral("TP-DA of %1 digits, type %2").arg(*addressDigits).arg(s.recipientType));
    const auto address = r.take((*addressDigits + 1) / 2);
    if (!address) return fail(QStringLiteral("TP-DA cut short"));
    if ((s.recipientType & 0x70) == 0x50) {
        s.recipient = fromGsm7(unpack(*address, *addressDigits * 4 / 7)).toUtf8();
    } else {
        const auto number = digits(*address, *addressDigits);
        if (!number) return fail(QStringLiteral("TP-DA digits"));
        s.recipient = ((s.recipientType & 0x70) == 0x10 ? "+" : "") + *number;
    }

    const auto pid = r.octet();
    const auto dcs = r.octet();
    if (!pid || !dcs) return fail(QStringLiteral("TP-PID/TP-DCS cut short"));
    s.pid = *pid;
    s.dcs = *dcs;
    bool known = true;
    s.alphabet = alphabetOf(s.dcs, &known);
    if (!known) return fail(QStringLiteral("TP-DCS %1").arg(s.dcs));
    // Relative: one octet; enhanced and absolute: seven.
    if (s.validityFormat && !r.take(s.validityFormat == 2 ? 1 : 7)) return fail(QStringLiteral("TP-VP cut short"));

    const auto udl = r.octet();
    if (!udl) return fail(QStringLiteral("TP-UDL missing"));
    s.udl = *udl;
    const bool septets = s.alphabet == SubmitAlphabet::Gsm7;
    if (s.udl > (septets ? kMaxSeptets : kMaxOctets)) return fail(QStringLiteral("TP-UDL %1 too long").arg(s.udl));
    const qsizetype udOctets = septets ? (s.udl * 7 + 7) / 8 : s.udl;
    if (r.left() != udOctets)
        return fail(QStringLiteral("%1 user data octets for TP-UDL %2").arg(r.left()).arg(s.udl));
    const QByteArray ud = *r.take(udOctets);

    qsizetype headerOctets = 0;
    if (hasHeader) {
        headerOctets = ud.isEmpty() ? 0 : 1 + static_cast<unsigned char>(ud[0]);
        if (headerOctets == 0 || headerOctets > ud.size()) return fail(QStringLiteral("header longer than the user data"));
        const QString error = readHeader(ud.mid(1, headerOctets - 1), &s.concatenation);
        if (!error.isEmpty()) return fail(error);
    }
    if (septets) {
        // The text starts on the septet boundary after the header and its fill bits.
        const int skip = static_cast<int>((headerOctets * 8 + 6) / 7);
        if (skip > s.udl) return fail(QStringLiteral("header longer than TP-UDL"));
        s.text = fromGsm7(unpack(ud, s.udl).mid(skip));
    } else {
        const QByteArray body = ud.mid(headerOctets);
        if (s.alphabet == SubmitAlphabet::Ucs2 && body.size() % 2) return fail(QStringLiteral("odd UCS-2 length"));
        if (s.alphabet == SubmitAlphabet::Ucs2) s.text = ucs2Text(body);
        else s.data = body;
    }
    return {s, {}};
}

} // namespace zorvel::sim

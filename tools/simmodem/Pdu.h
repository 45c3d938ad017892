#pragma once
// SMS-DELIVER PDUs (3GPP TS 23.040) for the PDU-mode listing: sender address, service
// centre time stamp and the text in the GSM 7-bit default alphabet, or UCS-2 when the
// text holds a character that alphabet lacks; also one part of a concatenated SMS.
#include <QByteArray>
#include <QString>
#include <optional>

namespace zorvel::sim {

// Septets of the default alphabet and its extension table (escape 0x1B + code);
// nothing when some character is in neither.
std::optional<QByteArray> toGsm7(const QString& text);

// Characters of septets (one a byte, as toGsm7 gives them): an escape 0x1B takes the next
// septet from the extension table; a code the table lacks reads as the default alphabet's
// character (3GPP TS 23.038), and a trailing escape alone as a space.
QString fromGsm7(const QByteArray& septets);

// UTF-16 code units, big-endian: characters beyond U+FFFF as surrogate pairs, as phones
// send them.
QByteArray toUcs2(const QString& characters);

// Packs septets into octets, least significant bit first.
QByteArray packSeptets(const QByteArray& septets);

// TP-OA / SMSC style address: "+<digits>" international (0x91), plain digits unknown
// type (0x81), anything else alphanumeric (0xD0, packed 7-bit). When `lengthInOctets`
// is true the length octet counts octets (SMSC field), else semi-octets (TP-OA).
QByteArray encodeAddress(const QByteArray& address, bool lengthInOctets);

// "yy/MM/dd,hh:mm:ss+zz" (zz in quarter hours, sign + or -) as the 7 swapped
// semi-octet pairs of TP-SCTS; nothing when the text has another shape.
std::optional<QByteArray> encodeTimestamp(const QByteArray& stamp);

// The text bytes of a stored message as characters: UTF-8 when they are valid UTF-8,
// else Latin-1 (one byte, one character).
QString decodeStoredText(const QByteArray& bytes);
bool isUtf8Text(const QByteArray& bytes);

// One part of a concatenated SMS: the concatenation element of its user data header
// and this part's share of the text, already in the message's alphabet.
struct MessagePart {
    int reference = 0;
    bool reference16 = false;  // element 08 (16-bit reference) instead of 00
    int count = 1;
    int sequence = 1;
    bool ucs2 = false;
    QByteArray payload;  // septets (one per byte) or UCS-2 octets, big-endian
};

struct DeliverPdu {
    QByteArray hex;      // upper-case hex, SMSC part first, as a modem prints it
    int tpduLength = 0;  // octets after the SMSC part: the <length> of +CMGL
    bool truncated = false;
};

// A bad stamp encodes as 00/01/01,00:00:00+00; a text too long for one message is cut.
DeliverPdu buildDeliverPdu(const QByteArray& smsc, const QByteArray& sender,
                           const QByteArray& stamp, const QByteArray& text);

// TP-UDHI set; in 7-bit the septets start after fill bits, on a septet boundary.
DeliverPdu buildDeliverPart(const QByteArray& smsc, const QByteArray& sender,
                            const QByteArray& stamp, const MessagePart& part);

} // namespace zorvel::sim

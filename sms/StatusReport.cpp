#include "StatusReport.h"

#include <cstdio>

#include "Gsm7Alphabet.h"
#include "SemiOctets.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

constexpr unsigned kMaxAddressDigits = 20;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> HexToBytes(std::string_view hex)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

// Takes fields off the front of the PDU; every take is checked against what is left.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool Octet(unsigned& value)
    {
        if (rest_.empty())
            return false;
        value = static_cast<unsigned char>(rest_.front());
        rest_.remove_prefix(1);
        return true;
    }
    bool Take(std::size_t count, std::string_view& field)
    {
        if (count > rest_.size())
            return false;
        field = rest_.substr(0, count);
        rest_.remove_prefix(count);
        return true;
    }

private:
    std::string_view rest_;
};

// TP-RA in the form DecodeSmsDeliver writes TP-OA: `digits` counts semi-octets; type
// of number 101 is an alphanumeric name packed 7-bit, 001 international gets a "+".
std::string RecipientAddress(unsigned digits, unsigned type, std::string_view octets)
{
    const unsigned typeOfNumber = (type >> 4) & 0x07;
    if (typeOfNumber == 5)
        return Utf16ToUtf8(Gsm7ToUtf16(UnpackSeptets(octets, 0, digits * 4 / 7), 0, 0));
    const std::string number = SemiOctetDigits(octets, digits);
    return typeOfNumber == 1 && !number.empty() ? "+" + number : number;
}

// The words for the values TS 23.040 clause 9.2.3.15 names; nullptr for the reserved
// and service centre specific ones.
const char* StatusWords(int status)
{
    switch (status) {
    // Short message transaction completed
    case 0x00: return "delivered";
    case 0x01: return "forwarded, delivery not confirmed";
    case 0x02: return "replaced by the service centre";
    // Temporary error, the service centre still tries
    case 0x20: return "still trying: congestion";
    case 0x21: return "still trying: recipient busy";
    case 0x22: return "still trying: no response from the recipient";
    case 0x23: return "still trying: service rejected";
    case 0x24: return "still trying: quality of service not available";
    case 0x25: return "still trying: error in the recipient's phone";
    // Permanent error, no more attempts
    case 0x40: return "failed: remote procedure error";
    case 0x41: return "failed: incompatible destination";
    case 0x42: return "failed: connection rejected by the recipient";
    case 0x43: return "failed: not obtainable";
    case 0x44: return "failed: quality of service not available";
    case 0x45: return "failed: no interworking available";
    case 0x46: return "failed: validity period expired";
    case 0x47: return "failed: deleted by the sender";
    case 0x48: return "failed: deleted by the service centre's administration";
    case 0x49: return "failed: message does not exist";
    // Temporary error, but no more attempts
    case 0x60: return "failed: congestion, no more attempts";
    case 0x61: return "failed: recipient busy, no more attempts";
    case 0x62: return "failed: no response from the recipient, no more attempts";
    case 0x63: return "failed: service rejected, no more attempts";
    case 0x64: return "failed: quality of service not available, no more attempts";
    case 0x65: return "failed: error in the recipient's phone, no more attempts";
    default: return nullptr;
    }
}

} // namespace

std::optional<StatusReport> DecodeStatusReport(std::string_view hex, std::string* whyNot)
{
    const auto fail = [whyNot](const char* reason) -> std::optional<StatusReport> {
        if (whyNot)
            *whyNot = reason;
        return std::nullopt;
    };
    const std::optional<std::string> bytes = HexToBytes(hex);
    if (!bytes)
        return fail("not hexadecimal octets");
    Reader pdu(*bytes);

    unsigned smscLength = 0, firstOctet = 0, reference = 0, digits = 0, type = 0, status = 0;
    std::string_view smsc, address, submitted, discharged;
    if (!pdu.Octet(smscLength) || !pdu.Take(smscLength, smsc) || !pdu.Octet(firstOctet))
        return fail("cut short in the service centre address");
    if ((firstOctet & 0x03) != 0x02)  // TP-MTI: only SMS-STATUS-REPORT
        return fail("not a status report (a received or a sent message)");
    if (!pdu.Octet(reference))
        return fail("cut short before the reference");
    // TP-RA holds at most 10 octets: 20 digits, or 11 characters of an alphanumeric name.
    if (!pdu.Octet(digits) || digits > kMaxAddressDigits || !pdu.Octet(type)
        || !pdu.Take((digits + 1) / 2, address))
        return fail("recipient address too long or cut short");
    if (!pdu.Take(7, submitted) || !pdu.Take(7, discharged) || !pdu.Octet(status))
        return fail("cut short before the status");
    // TP-PI and what it announces may follow; not needed here.

    StatusReport report;
    report.reference = static_cast<int>(reference);
    report.recipient = RecipientAddress(digits, type, address);
    report.submitted = ServiceCentreStamp(submitted);
    report.discharged = ServiceCentreStamp(discharged);
    report.status = static_cast<int>(status);
    return report;
}

std::string StatusReportText(int status)
{
    char value[24];
    if (status < 0 || status > 0xFF) {
        std::snprintf(value, sizeof value, "(%d)", status);
        return std::string("failed: not a status value ") + value;
    }
    std::snprintf(value, sizeof value, "(0x%02X)", static_cast<unsigned>(status));
    if (const char* words = StatusWords(status))
        return std::string(words) + " " + value;
    if (status <= 0x1F)
        return std::string("delivered ") + value;
    if (status <= 0x3F)
        return std::string("still trying ") + value;
    if (status <= 0x7F)
        return std::string("failed ") + value;
    // Reserved: a receiver takes it as "service rejected".
    return std::string("failed: reserved value ") + value;
}

} // namespace zorvel

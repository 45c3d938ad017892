#include "StatusReport.h"

#include <cstdio>

#include "Gsm7Alphabet.h"
#include "PduReader.h"
#include "SemiOctets.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

constexpr unsigned kMaxAddressDigits = 20;

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
    PduReader pdu(*bytes);

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
    report.recipient = PduAddress(digits, type, address);
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

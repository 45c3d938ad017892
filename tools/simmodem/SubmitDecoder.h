#pragma once
// Reads the SMS-SUBMIT a client hands to AT+CMGS in PDU mode (3GPP TS 23.040), apart
// from the gateway's own encoder so that the simulator checks what the gateway sends.
// Strict: whatever a well-behaved encoder would not write is refused with a reason.
#include <QByteArray>
#include <QString>
#include <optional>

namespace zorvel::sim {

struct SubmitConcatenation {
    int reference = 0;
    bool reference16 = false;  // element 08 instead of 00
    int count = 1;
    int sequence = 1;
};

enum class SubmitAlphabet { Gsm7, Bits8, Ucs2 };

struct Submit {
    int tpduLength = 0;          // octets after the SMSC part: what AT+CMGS=<length> counts
    int firstOctet = 0;
    bool reportWanted = false;   // TP-SRR
    int validityFormat = 0;      // TP-VPF: 0 none, 1 enhanced, 2 relative, 3 absolute
    int reference = 0;           // TP-MR as the client wrote it (the modem sets its own)
    QByteArray recipient;        // "+digits", digits (also * # a b c), or a name in UTF-8
    int recipientType = 0x81;    // type-of-address octet
    int pid = 0;
    int dcs = 0;
    SubmitAlphabet alphabet = SubmitAlphabet::Gsm7;
    int udl = 0;
    std::optional<SubmitConcatenation> concatenation;
    QString text;     // 7-bit and UCS-2 user data after the header
    QByteArray data;  // 8-bit user data after the header

    // What the log shows: the text as UTF-8, or the 8-bit data as it is.
    QByteArray textBytes() const { return alphabet == SubmitAlphabet::Bits8 ? data : text.toUtf8(); }
};

struct SubmitResult {
    std::optional<Submit> submit;
    QString error;  // why it was refused, when it was
};

// `octets`: the whole PDU as sent, SMSC part first.
SubmitResult decodeSubmit(const QByteArray& octets);

} // namespace zorvel::sim

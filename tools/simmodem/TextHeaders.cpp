#include "TextHeaders.h"

#include "Pdu.h"

namespace zorvel::sim {

namespace {

QByteArray addressType(const QByteArray& address)
{
    if (address.startsWith('+')) return "145";
    for (char c : address)
        if (c < '0' || c > '9') return "208";
    return "129";
}

bool received(const StoredMessage& m)
{
    return m.status == MessageStatus::RecUnread || m.status == MessageStatus::RecRead;
}

QByteArray statusAndAddress(const StoredMessage& m)
{
    return "\"" + statusText(m.status) + "\",\"" + m.sender + "\",,";
}

QByteArray typeAndLength(const StoredMessage& m)
{
    return "," + addressType(m.sender) + "," + QByteArray::number(m.text.size());
}

// First octet, PID and DCS taken from the SMS-DELIVER that PDU mode lists for the
// message, so both modes tell the same (a part of a long text has TP-UDHI set, 68).
struct DeliverFields {
    int firstOctet = 4;
    int pid = 0;
    int dcs = 0;
};

DeliverFields deliverFields(const Profile& profile, const StoredMessage& m)
{
    const DeliverPdu pdu = m.part ? buildDeliverPart(profile.smsc, m.sender, m.stamp, *m.part)
                                  : buildDeliverPdu(profile.smsc, m.sender, m.stamp, m.text);
    const QByteArray o = QByteArray::fromHex(pdu.hex);
    const auto at = [&o](qsizetype i) { return i < o.size() ? static_cast<unsigned char>(o[i]) : 0; };
    const qsizetype tpdu = 1 + at(0);
    const qsizetype pid = tpdu + 3 + (at(tpdu + 1) + 1) / 2;  // after TP-OA's length, type and digits
    return {at(tpdu), at(pid), at(pid + 1)};
}

} // namespace

QByteArray textListHeader(const Profile& profile, const StoredMessage& m, bool showParameters)
{
    QByteArray header = "+CMGL: " + QByteArray::number(m.index) + "," + statusAndAddress(m);
    if (received(m)) header += "\"" + m.stamp + "\"";
    if (showParameters || profile.headerWithLength) header += typeAndLength(m);
    return header;
}

QByteArray textReadHeader(const Profile& profile, const StoredMessage& m, bool showParameters)
{
    QByteArray header = "+CMGR: " + statusAndAddress(m);
    if (!showParameters) {
        if (received(m)) header += "\"" + m.stamp + "\"";
        if (profile.headerWithLength) header += typeAndLength(m);
        return header;
    }
    const QByteArray centre = ",\"" + profile.smsc + "\"," + addressType(profile.smsc) + ",";
    const QByteArray length = QByteArray::number(m.text.size());
    const DeliverFields f = deliverFields(profile, m);
    if (received(m))
        return header + "\"" + m.stamp + "\"," + addressType(m.sender) + "," + QByteArray::number(f.firstOctet) +
               "," + QByteArray::number(f.pid) + "," + QByteArray::number(f.dcs) + centre + length;
    // A stored outgoing message is an SMS-SUBMIT: relative validity period (17), one day.
    return header + addressType(m.sender) + ",17," + QByteArray::number(f.pid) + "," + QByteArray::number(f.dcs) +
           ",167" + centre + length;
}

QList<qsizetype> okLineEnds(const QByteArray& text)
{
    QList<qsizetype> ends;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype lf = text.indexOf('\n', start);
        const bool last = lf < 0;
        if (last) lf = text.size();
        QByteArray line = text.mid(start, lf - start);
        if (line.endsWith('\r')) line.chop(1);
        if (line == "OK") ends << (last ? text.size() + 2 : lf + 1);
        if (last) break;
        start = lf + 1;
    }
    return ends;
}

} // namespace zorvel::sim

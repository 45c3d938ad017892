#pragma once
// Shared by the simulated modem's tests: an SMS-DELIVER reader written apart from the
// simulator's encoder, so that its PDUs are checked and not merely echoed, and a modem
// core with a store for driving the command interpreter without a terminal.
#include "ModemCore.h"
#include "Pdu.h"
#include "StoreFile.h"

#include <QByteArray>
#include <QTest>

namespace zorvel::sim::testing {

// ---- independent decoding helpers for checking generated PDUs ----

inline QByteArray unpackSeptets(const QByteArray& octets, int count)
{
    QByteArray out;
    unsigned acc = 0;
    int bits = 0;
    qsizetype i = 0;
    while (out.size() < count) {
        if (bits < 7) {
            acc |= static_cast<unsigned>(static_cast<unsigned char>(i < octets.size() ? octets[i] : 0)) << bits;
            ++i;
            bits += 8;
        }
        out += static_cast<char>(acc & 0x7F);
        acc >>= 7;
        bits -= 7;
    }
    return out;
}

inline QByteArray semiOctetDigits(const QByteArray& octets)
{
    QByteArray digits;
    for (char o : octets)
        for (int nibble : {o & 0xF, (o >> 4) & 0xF})
            if (nibble != 0xF) digits += static_cast<char>('0' + nibble);
    return digits;
}

struct Deliver {
    QByteArray smsc;
    int firstOctet = -1;
    QByteArray sender;  // "+digits", digits, or the 7-bit name (ASCII letters only)
    int dcs = -1;
    QByteArray stamp;
    int udl = 0;
    QByteArray udh;       // with its length octet, when TP-UDHI is set
    QByteArray userData;  // septets (DCS 0) or UCS-2 octets (DCS 8), after any header
    int tpduLength = 0;
};

inline Deliver decodeDeliver(const QByteArray& hex)
{
    const QByteArray o = QByteArray::fromHex(hex);
    Deliver d;
    int p = 0;
    const int smscLength = static_cast<unsigned char>(o[p++]);
    if (smscLength > 0) d.smsc = "+" + semiOctetDigits(o.mid(p + 1, smscLength - 1));
    p += smscLength;
    d.tpduLength = static_cast<int>(o.size()) - p;
    d.firstOctet = static_cast<unsigned char>(o[p++]);
    const int addressDigits = static_cast<unsigned char>(o[p++]);
    const int type = static_cast<unsigned char>(o[p++]);
    const QByteArray address = o.mid(p, (addressDigits + 1) / 2);
    p += static_cast<int>(address.size());
    if (type == 0xD0) d.sender = unpackSeptets(address, addressDigits * 4 / 7);
    else d.sender = (type == 0x91 ? "+" : "") + semiOctetDigits(address);
    ++p;  // PID
    d.dcs = static_cast<unsigned char>(o[p++]);
    const QByteArray ts = o.mid(p, 7);
    p += 7;
    auto pair = [&](int i, int mask) {
        const int c = static_cast<unsigned char>(ts[i]);
        return QByteArray::number(c & mask) + QByteArray::number(c >> 4);
    };
    d.stamp = pair(0, 0xF) + "/" + pair(1, 0xF) + "/" + pair(2, 0xF) + "," + pair(3, 0xF) + ":" + pair(4, 0xF) +
              ":" + pair(5, 0xF) + ((ts[6] & 0x08) ? "-" : "+") + pair(6, 0x7);
    const int udl = d.udl = static_cast<unsigned char>(o[p++]);
    const QByteArray ud = o.mid(p);
    if (d.firstOctet & 0x40) {
        // The header counts in whole septets: the text starts after its fill bits.
        const int headerOctets = 1 + static_cast<unsigned char>(ud[0]);
        d.udh = ud.left(headerOctets);
        d.userData = d.dcs == 0 ? unpackSeptets(ud, udl).mid((headerOctets * 8 + 6) / 7)
                                : ud.mid(headerOctets, udl - headerOctets);
        return d;
    }
    d.userData = d.dcs == 0 ? unpackSeptets(ud, udl) : ud.mid(0, udl);
    return d;
}

// ---- a modem core with a store, for the interpreter tests ----

struct CoreRig {
    explicit CoreRig(const QByteArray& profileName = "e1750")
        : profile(*findProfile(profileName)), store(profile.firstIndex, profile.capacity),
          phone(profile.firstIndex, profile.capacityMe), memory(store, phone), core(profile, memory, settings)
    {
    }
    QByteArray feed(const QByteArray& bytes) { return core.receive(bytes).join(); }
    void add(const QByteArray& sender, const QByteArray& stamp, const QByteArray& text)
    {
        StoredMessage m;
        m.sender = sender;
        m.stamp = stamp;
        m.text = text;
        QVERIFY(store.add(m).has_value());
    }
    const Profile& profile;
    RuntimeSettings settings;
    MessageStore store;
    MessageStore phone;  // "ME"
    MessageAreas memory;
    ModemCore core;
};

// ---- sample texts ----

// 437 characters of the default alphabet: three parts.
inline const QByteArray kBankNotice =
    "SimBank notice: from 15 January your account ending 4401 moves to our new online banking. Please sign in once "
    "before 31 January with your customer number and the one-time code we send you by post, then choose a new "
    "password of at least 10 characters. Standing orders, direct debits and saved payees move with you; your card "
    "PIN stays the same. Questions? Call +15550007000, Mon-Fri 8:00-18:00. We never ask for your code by phone or SMS.";

} // namespace zorvel::sim::testing

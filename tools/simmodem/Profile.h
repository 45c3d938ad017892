#pragma once
// Modem profiles: the reply shapes and habits of a device family. Numbers, IMEIs and
// IMSIs are made up (MCC 001 / MNC 01 is the test network; +1 555 numbers are fictional).
#include <QByteArray>
#include <QList>

namespace zorvel::sim {

// What follows the echo of a command line sent as "AT...\r\n":
//   CrCrLf: the LF is swallowed, so the echo "AT...\r" meets the reply's "\r\n"
//           ("AT+CSQ\r\r\n+CSQ: ..."), as Huawei sticks print it;
//   Exact:  every received byte is echoed, the LF too ("AT+CSQ\r\n\r\n+CSQ: ...").
enum class EchoStyle { CrCrLf, Exact };

struct Profile {
    QByteArray name;
    QByteArray description;
    bool echo = true;
    EchoStyle echoStyle = EchoStyle::CrCrLf;
    QByteArray sysinfo;  // empty: AT^SYSINFO is unknown (ERROR)
    QByteArray imei;
    QByteArray imsi;
    QByteArray ownNumber;  // +CNUM line
    QByteArray signal;     // +CSQ line
    QByteArray operatorLine;  // +COPS? line
    QByteArray manufacturer;
    QByteArray model;
    QByteArray revision;
    QByteArray smsc;  // service centre put into generated PDUs
    int firstIndex = 1;
    int capacity = 30;
    int capacityMe = 100;  // the phone's own memory ("ME")
    // Text-mode +CMGL/+CMGR headers end with ",<tooa>,<length>" (as after AT+CSDH=1).
    bool headerWithLength = false;
    QList<QByteArray> junk;  // unsolicited lines the device sends on its own
};

// Nothing for an unknown name.
const Profile* findProfile(const QByteArray& name);
QList<QByteArray> profileNames();

} // namespace zorvel::sim

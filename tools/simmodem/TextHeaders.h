#pragma once
// Text-mode headers of AT+CMGL and AT+CMGR (3GPP TS 27.005): the short form, and with
// AT+CSDH=1 the text parameters (address type, first octet, PID, DCS, service centre,
// length). Also where a reply may pause inside a text that holds an "OK" line.
#include "MessageStore.h"
#include "Profile.h"

#include <QByteArray>
#include <QList>

namespace zorvel::sim {

// "+CMGL: <index>,<stat>,<oa>,,[<scts>]" and, with `showParameters` or a profile that
// always shows them, ",<tooa>,<length>".
QByteArray textListHeader(const Profile& profile, const StoredMessage& m, bool showParameters);

// "+CMGR: <stat>,<oa>,,[<scts>]"; with `showParameters` the full 27.005 form of a
// received (SMS-DELIVER) or stored outgoing (SMS-SUBMIT) message.
QByteArray textReadHeader(const Profile& profile, const StoredMessage& m, bool showParameters);

// Offsets into "<text>\r\n" just past each line of `text` that reads exactly "OK": after
// its LF, or for the last line after the CR LF the reply puts behind the text.
QList<qsizetype> okLineEnds(const QByteArray& text);

} // namespace zorvel::sim

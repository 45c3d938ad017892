#pragma once
// The text format of message files (--store, and files dropped into the --inbox folder).
// Described in README.md; in short, one block per message:
//
//   from: +15550001234
//   time: 17/11/19,14:05:09+00
//   text:
//   Hello there
//   .
//
// Other keys: "status:", "index:", "pdu:", "text-hex:", and "text: <one line>".
#include "MessageStore.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace zorvel::sim {

struct StoreFileResult {
    QList<StoredMessage> messages;
    QString error;  // empty when the whole file was understood; names the line otherwise
};

// `now` gives the time stamp of a block without "time:".
StoreFileResult parseStoreFile(const QByteArray& data, const QDateTime& now);

// A local time as a modem prints it: "yy/MM/dd,hh:mm:ss+zz", zz in quarter hours.
QByteArray modemTimestamp(const QDateTime& time);

} // namespace zorvel::sim

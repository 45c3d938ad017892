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
// Other keys: "status:", "index:", "storage:", "pdu:", "text-hex:", "text: <one line>", and those
// that make a block a concatenated SMS ("concat:", "ref:", "parts-order:", ...).
#include "MessageStore.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace zorvel::sim {

struct StoreFileResult {
    QList<StoredMessage> messages;
    QString error;  // empty when the whole file was understood; names the line otherwise
};

// What the program adds to the file's own keys: whether a text too long for one SMS
// becomes a concatenated SMS (else it is cut, as a single SMS), and the reference the next
// such SMS gets when its block names none (counts 1-255, then again).
struct ConcatDefaults {
    bool longTexts = false;
    int nextReference = 1;
};

// `now` gives the time stamp of a block without "time:". Without `concat` long texts are
// cut and references start at 1.
StoreFileResult parseStoreFile(const QByteArray& data, const QDateTime& now, ConcatDefaults* concat = nullptr);

// A local time as a modem prints it: "yy/MM/dd,hh:mm:ss+zz", zz in quarter hours.
QByteArray modemTimestamp(const QDateTime& time);

} // namespace zorvel::sim

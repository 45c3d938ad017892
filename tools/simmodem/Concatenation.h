#pragma once
// A text too long for one SMS split into the parts of a concatenated SMS, as a phone sends
// it: 153 septets or 67 UCS-2 units a part (152 / 66 with a 16-bit reference), an escape
// pair never cut, a surrogate pair only when asked. Each part goes to a slot of its own;
// the options list them out of order, leave one out or store one twice.
#include "MessageStore.h"

#include <QList>
#include <QString>
#include <optional>

namespace zorvel::sim {

struct ConcatOptions {
    std::optional<int> reference;  // chosen by the caller when unset
    bool reference16 = false;
    QList<int> order;              // slot order of the parts; empty: 1, 2, 3, ...
    QList<int> omit;               // parts not stored
    QList<int> duplicate;          // parts stored twice, the copy right after the first
    bool splitSurrogate = false;   // cut the text's first surrogate pair between two parts
};

struct SplitResult {
    QList<StoredMessage> stored;  // in slot order; the first keeps the message's index wish
    QByteArray badKey;           // the store-file key at fault when `error` is set
    QString error;
};

// The user data of a single SMS holds the text (160 septets / 70 UCS-2 units).
bool fitsOneSms(const QByteArray& text);

// `reference` is used when the options give none.
SplitResult splitIntoParts(const StoredMessage& message, const ConcatOptions& options, int reference);

} // namespace zorvel::sim

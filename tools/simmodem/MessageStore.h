#pragma once
// The modem's message memory: numbered slots, the lowest free one taken first, as a
// SIM does. Holds bytes exactly as they will be printed.
#include "Pdu.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <functional>
#include <optional>

namespace zorvel::sim {

// Values as in AT+CMGL=<stat> of PDU mode.
enum class MessageStatus { RecUnread = 0, RecRead = 1, StoUnsent = 2, StoSent = 3 };

QByteArray statusText(MessageStatus status);  // "REC UNREAD", ...
std::optional<MessageStatus> statusFromText(const QByteArray& text);

struct StoredMessage {
    int index = -1;  // -1: let the store choose
    MessageStatus status = MessageStatus::RecUnread;
    QByteArray sender;  // "+15550001234" or a name
    QByteArray stamp;   // "yy/MM/dd,hh:mm:ss+zz"
    QByteArray text;    // raw bytes, LF between lines
    QByteArray pduHex;  // when set, PDU mode lists this instead of a generated PDU
    std::optional<MessagePart> part;  // set when the slot holds one part of a longer SMS;
                                      // `text` is then that part's share
};

class MessageStore {
public:
    MessageStore(int firstIndex, int capacity);

    // Takes the message's own index when it is set and free, else the lowest free slot.
    // Nothing when the memory is full or the requested index is out of range.
    std::optional<int> add(StoredMessage message);
    bool remove(int index);
    StoredMessage* find(int index);
    QList<StoredMessage> messages() const;  // by index
    int size() const { return static_cast<int>(m_messages.size()); }
    int capacity() const { return m_capacity; }
    int firstIndex() const { return m_firstIndex; }

    // Told of every add ("add") and removal ("delete").
    std::function<void(const char* what, const StoredMessage&)> onChange;

private:
    int m_firstIndex;
    int m_capacity;
    QMap<int, StoredMessage> m_messages;
};

} // namespace zorvel::sim

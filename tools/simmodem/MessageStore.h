#pragma once
// The modem's message memory: numbered slots, the lowest free one taken first, as a
// SIM does. Holds bytes exactly as they will be printed. A message arriving while every
// slot is taken waits in line, as the network keeps it, and lands as soon as a delete
// frees a slot.
#include "Pdu.h"
#include "StatusReport.h"

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
    std::optional<StatusReportFields> report;  // a status report (`pduHex` is its PDU)
    QByteArray storage;  // "SM" or "ME" from a message file; empty: where AT+CPMS sends arrivals
    QByteArray source;  // where it came from ("file", "inbox", "generate", "report"), for the log
    qint64 heldSinceMs = -1;  // when it had to wait for a free slot; -1: it never did
};

class MessageStore {
public:
    MessageStore(int firstIndex, int capacity);

    // Takes the message's own index when it is set and free, else the lowest free slot.
    // Nothing when the memory is full or the requested index is out of range.
    std::optional<int> add(StoredMessage message);
    // As add(), but a message that finds every slot taken waits in line (arrival order)
    // instead of being refused; `nowMs` is kept for the log. Nothing is returned for a
    // held message, nor for one whose requested index is out of range (refused).
    std::optional<int> offer(StoredMessage message, qint64 nowMs);
    // Frees the slot; the oldest waiting message then takes the lowest free slot.
    bool remove(int index);
    StoredMessage* find(int index);
    QList<StoredMessage> messages() const;  // by index
    int size() const { return static_cast<int>(m_messages.size()); }
    int capacity() const { return m_capacity; }
    int firstIndex() const { return m_firstIndex; }
    int heldCount() const { return static_cast<int>(m_held.size()); }

    // Told of every add ("add"), removal ("delete") and message put in line ("held").
    std::function<void(const char* what, const StoredMessage&)> onChange;

private:
    int m_firstIndex;
    int m_capacity;
    QMap<int, StoredMessage> m_messages;
    QList<StoredMessage> m_held;
};

} // namespace zorvel::sim

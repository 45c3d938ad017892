#include "MessageStore.h"

namespace zorvel::sim {

namespace {
const QByteArray kStatusNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};
}

QByteArray statusText(MessageStatus status) { return kStatusNames[static_cast<int>(status)]; }

std::optional<MessageStatus> statusFromText(const QByteArray& text)
{
    for (int i = 0; i < 4; ++i)
        if (text.compare(kStatusNames[i], Qt::CaseInsensitive) == 0)
            return static_cast<MessageStatus>(i);
    return std::nullopt;
}

MessageStore::MessageStore(int firstIndex, int capacity)
    : m_firstIndex(firstIndex), m_capacity(capacity)
{
}

std::optional<int> MessageStore::add(StoredMessage message)
{
    const int last = m_firstIndex + m_capacity - 1;
    if (message.index >= 0) {
        if (message.index < m_firstIndex || message.index > last) return std::nullopt;
        if (m_messages.contains(message.index)) message.index = -1;
    }
    if (message.index < 0) {
        for (int i = m_firstIndex; i <= last && message.index < 0; ++i)
            if (!m_messages.contains(i)) message.index = i;
        if (message.index < 0) return std::nullopt;
    }
    m_messages.insert(message.index, message);
    if (onChange) onChange("add", message);
    return message.index;
}

std::optional<int> MessageStore::offer(StoredMessage message, qint64 nowMs)
{
    // Behind others already waiting too: arrival order is kept.
    if (size() < m_capacity && m_held.isEmpty()) return add(message);
    const int last = m_firstIndex + m_capacity - 1;
    if (message.index > last || (message.index >= 0 && message.index < m_firstIndex)) return std::nullopt;
    message.index = -1;  // it takes whatever slot frees first
    message.heldSinceMs = nowMs;
    m_held.append(message);
    if (onChange) onChange("held", message);
    return std::nullopt;
}

bool MessageStore::remove(int index)
{
    const auto it = m_messages.find(index);
    if (it == m_messages.end()) return false;
    const StoredMessage gone = it.value();
    m_messages.erase(it);
    if (onChange) onChange("delete", gone);
    if (!m_held.isEmpty()) add(m_held.takeFirst());
    return true;
}

StoredMessage* MessageStore::find(int index)
{
    const auto it = m_messages.find(index);
    return it == m_messages.end() ? nullptr : &it.value();
}

QList<StoredMessage> MessageStore::messages() const { return m_messages.values(); }

} // namespace zorvel::sim

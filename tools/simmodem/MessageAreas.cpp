#include "MessageAreas.h"

namespace zorvel::sim {

namespace {

std::optional<MessageAreas::Area> areaFromName(QByteArray text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"')) text = text.mid(1, text.size() - 2);
    text = text.toUpper();
    if (text == "SM") return MessageAreas::SM;
    if (text == "ME") return MessageAreas::ME;
    if (text == "MT") return MessageAreas::MT;
    if (text == "SR") return MessageAreas::SR;
    return std::nullopt;
}

} // namespace

bool MessageAreas::choose(const QList<QByteArray>& names)
{
    if (names.isEmpty() || names.size() > 3) return false;
    Area next[3] = {m_chosen[0], m_chosen[1], m_chosen[2]};
    for (int i = 0; i < names.size(); ++i) {
        const auto area = areaFromName(names[i]);
        if (!area || (*area == SR && (i > 0 || !m_sr))) return false;
        next[i] = *area;
    }
    std::copy(next, next + 3, m_chosen);
    return true;
}

QByteArray MessageAreas::name(Area area)
{
    return area == SM ? "SM" : area == ME ? "ME" : area == MT ? "MT" : "SR";
}

int MessageAreas::used(Area area) const
{
    if (area == SR) return m_sr ? m_sr->size() : 0;
    return (area != ME ? m_sm.size() : 0) + (area != SM ? m_me.size() : 0);
}

int MessageAreas::total(Area area) const
{
    if (area == SR) return m_sr ? m_sr->capacity() : 0;
    return (area != ME ? m_sm.capacity() : 0) + (area != SM ? m_me.capacity() : 0);
}

QList<StoredMessage> MessageAreas::messages() const
{
    const Area a = m_chosen[0];
    if (a == SR) return m_sr ? m_sr->messages() : QList<StoredMessage>{};
    QList<StoredMessage> all = a == ME ? m_me.messages() : m_sm.messages();
    if (a == MT)
        for (StoredMessage m : m_me.messages()) {
            m.index += meOffset();
            all.append(m);
        }
    return all;
}

StoredMessage* MessageAreas::find(int index)
{
    switch (m_chosen[0]) {
    case SM: return m_sm.find(index);
    case ME: return m_me.find(index);
    case MT: return index >= meOffset() + m_me.firstIndex() ? m_me.find(index - meOffset()) : m_sm.find(index);
    case SR: return m_sr ? m_sr->find(index) : nullptr;
    }
    return nullptr;
}

bool MessageAreas::remove(int index)
{
    switch (m_chosen[0]) {
    case SM: return m_sm.remove(index);
    case ME: return m_me.remove(index);
    case MT: return index >= meOffset() + m_me.firstIndex() ? m_me.remove(index - meOffset()) : m_sm.remove(index);
    case SR: return m_sr && m_sr->remove(index);
    }
    return false;
}

MessageStore* MessageAreas::landing(const QByteArray& wanted)
{
    Area area = m_chosen[2];
    if (!wanted.isEmpty()) {
        const auto named = areaFromName(wanted);
        if (!named || *named == MT) return nullptr;
        if (*named == SR) return m_sr;
        area = *named;
    }
    if (area == MT) {
        const bool simHasRoom = m_sm.size() < m_sm.capacity() && m_sm.heldCount() == 0;
        return simHasRoom ? &m_sm : &m_me;
    }
    return area == ME ? &m_me : &m_sm;
}

} // namespace zorvel::sim

#pragma once
// The modem's two message memories as AT+CPMS chooses among them (3GPP TS 27.005): "SM"
// (the SIM) and "ME" (the phone's own memory); "MT" is both, the SIM's slots first.
// With --reports sr|cdsi a third memory, "SR", holds status reports; only <mem1> can be it.
// <mem1> is where listing, reading and deleting act, <mem2> where written messages would
// go (accepted, not used), <mem3> where new messages land.
#include "MessageStore.h"

#include <QByteArray>
#include <QList>

namespace zorvel::sim {

class MessageAreas {
public:
    enum Area { SM, ME, MT, SR };

    MessageAreas(MessageStore& sm, MessageStore& me) : m_sm(sm), m_me(me) {}

    // The status report memory "SR"; without it "SR" is an unknown name.
    void setStatusReports(MessageStore* sr) { m_sr = sr; }
    bool hasStatusReports() const { return m_sr != nullptr; }

    // AT+CPMS="<m1>"[,"<m2>"[,"<m3>"]]: false (nothing changed) for an unknown name.
    bool choose(const QList<QByteArray>& names);
    Area area(int which) const { return m_chosen[which]; }  // 0: mem1, 1: mem2, 2: mem3
    static QByteArray name(Area area);
    int used(Area area) const;
    int total(Area area) const;

    // <mem1> as one numbered memory; with MT the phone's slots follow the SIM's, so its
    // first slot is numbered the SIM's first + the SIM's capacity.
    QList<StoredMessage> messages() const;  // by index, numbered as listed
    StoredMessage* find(int index);
    bool remove(int index);
    int firstIndex() const { return m_sm.firstIndex(); }
    int capacity() const { return total(m_chosen[0]); }

    // Where a new message goes: the memory it names ("SM", "ME"), else <mem3>; with MT the
    // SIM while it has room, else the phone. Nothing for an unknown name.
    MessageStore* landing(const QByteArray& wanted);
    QByteArray nameOf(const MessageStore& store) const { return &store == &m_me ? "ME" : "SM"; }

    MessageStore& sim() { return m_sm; }
    MessageStore& phone() { return m_me; }

private:
    int meOffset() const { return m_sm.capacity() + m_sm.firstIndex() - m_me.firstIndex(); }

    MessageStore& m_sm;
    MessageStore& m_me;
    MessageStore* m_sr = nullptr;
    Area m_chosen[3] = {SM, SM, SM};
};

} // namespace zorvel::sim

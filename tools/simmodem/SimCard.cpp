#include "SimCard.h"

#include "Reply.h"

namespace zorvel::sim {

namespace {
constexpr int kAllowedWrongPins = 3;
// 27.007 +CME ERROR codes.
constexpr int kNotAllowed = 3;
constexpr int kPinRequired = 11;
constexpr int kPukRequired = 12;
constexpr int kWrongPassword = 16;
} // namespace

QByteArray simStateText(SimState state)
{
    switch (state) {
    case SimState::Ready: return "READY";
    case SimState::Pin: return "SIM PIN";
    case SimState::Puk: return "SIM PUK";
    }
    return {};
}

void SimCard::setState(SimState state)
{
    m_state = state;
    m_wrongInARow = 0;
}

QByteArray SimCard::handle(bool read, bool test, bool set, const QByteArray& args)
{
    if (read) return reply::info({"+CPIN: " + simStateText(m_state)});
    if (test) return reply::ok();
    if (!set) return reply::error();
    if (m_state == SimState::Ready) return reply::cmeError(kNotAllowed);

    QByteArray code = args.split(',').value(0).trimmed();
    if (code.size() >= 2 && code.startsWith('"') && code.endsWith('"')) code = code.mid(1, code.size() - 2);
    const bool right = m_state == SimState::Pin && !m_pin.isEmpty() && code == m_pin;
    ++m_tries;
    if (right) {
        setState(SimState::Ready);
    } else if (m_state == SimState::Pin && ++m_wrongInARow >= kAllowedWrongPins) {
        m_state = SimState::Puk;
    }
    if (onEvent)
        onEvent("SIM", "pin-try n=" + QByteArray::number(m_tries) + (right ? " right" : " wrong") +
                           " state=" + simStateText(m_state));
    return right ? reply::ok() : reply::cmeError(kWrongPassword);
}

std::optional<int> SimCard::refusal(const QByteArray& name) const
{
    if (m_state == SimState::Ready) return std::nullopt;
    static const QByteArray needSim[] = {"+CMGL", "+CMGR", "+CMGD", "+CMGS", "+CPMS", "+CNUM", "+CIMI", "+COPS"};
    for (const QByteArray& n : needSim)
        if (name == n) return m_state == SimState::Pin ? kPinRequired : kPukRequired;
    return std::nullopt;
}

} // namespace zorvel::sim

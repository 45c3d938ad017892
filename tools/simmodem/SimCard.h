#pragma once
// The SIM's PIN lock, as AT+CPIN shows and unlocks it (3GPP TS 27.007): READY, or waiting
// for its PIN; three wrong PINs in a row block it until a PUK, which is not simulated.
#include <QByteArray>
#include <functional>
#include <optional>

namespace zorvel::sim {

enum class SimState { Ready, Pin, Puk };

QByteArray simStateText(SimState state);  // "READY", "SIM PIN", "SIM PUK"

class SimCard {
public:
    SimState state() const { return m_state; }
    void setState(SimState state);
    // Without a PIN no code unlocks the SIM (every try is wrong).
    void setPin(const QByteArray& pin) { m_pin = pin; }

    // The reply to AT+CPIN? / =? / =<code>.
    QByteArray handle(bool read, bool test, bool set, const QByteArray& args);
    // The +CME ERROR code that `name` ("+CMGL") gets while the SIM is locked, if any.
    std::optional<int> refusal(const QByteArray& name) const;

    // Told of every PIN try: ("SIM", "pin-try n=2 wrong state=SIM PIN"). The code itself
    // is never told.
    std::function<void(const QByteArray& kind, const QByteArray& detail)> onEvent;

private:
    SimState m_state = SimState::Ready;
    QByteArray m_pin;
    int m_wrongInARow = 0;
    int m_tries = 0;
};

} // namespace zorvel::sim

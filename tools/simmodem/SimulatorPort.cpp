// The port's own faults: a port that vanishes and comes back (a USB stick re-enumerating)
// and a modem that hangs until its port is opened again.
#include "Simulator.h"

namespace zorvel::sim {

QString Simulator::act(const ControlAction& action)
{
    QString error;
    switch (action.kind) {
    case ControlAction::Vanish:
        if (!m_pty.isOpen()) return QStringLiteral("vanish: the port is gone already");
        vanish();
        if (action.seconds > 0) m_returnTimer.start(action.seconds * 1000);
        return {};
    case ControlAction::Return:
        if (m_pty.isOpen()) return QStringLiteral("return: the port is there");
        return comeBack(&error) ? QString() : "return: " + error;
    case ControlAction::Hang:
        hang(action.seconds);
        return {};
    case ControlAction::Unhang:
        if (!m_hung) return QStringLiteral("unhang: not hanging");
        unhang("control");
        return {};
    }
    return {};
}

void Simulator::vanish()
{
    // What was on its way out is lost with the device.
    m_queue.clear();
    m_pace.stop();
    m_pty.close();
    m_log.write("PORT", "vanished");
}

// A new terminal behind the same path. The stick was powered off and on: its settings
// are as after ATZ, while messages, the SIM's state and the chosen memories are kept.
bool Simulator::comeBack(QString* error)
{
    m_returnTimer.stop();
    m_core.powerCycle();
    if (!m_pty.open(error) || !m_pty.createLink(m_options.link, error)) {
        m_pty.close();
        return false;
    }
    m_log.write("PORT", "returned pty=" + m_pty.slaveName().toLocal8Bit());
    return true;
}

void Simulator::hang(int seconds)
{
    if (seconds > 0) m_hangTimer.start(seconds * 1000);
    else m_hangTimer.stop();
    if (m_hung) return;
    m_hung = true;
    m_queue.clear();  // a reply under way stops where it is
    m_pace.stop();
    m_log.write("HANG", "on");
}

void Simulator::unhang(const QByteArray& reason)
{
    m_hangTimer.stop();
    m_hung = false;
    m_log.write("HANG", "off reason=" + reason);
}

} // namespace zorvel::sim

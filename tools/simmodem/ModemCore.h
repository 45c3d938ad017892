#pragma once
// The modem's command interpreter, free of I/O: bytes from the client go in, the bytes
// the modem answers come out, one unit per command line (its echo and its reply).
#include "Indications.h"
#include "MessageAreas.h"
#include "Profile.h"
#include "Settings.h"
#include "SimCard.h"
#include "SmsCommands.h"

#include <QByteArray>
#include <QList>
#include <functional>

namespace zorvel::sim {

// What one command line brings back: its echo and reply, and the offsets just past each
// "OK" line of a message text in it (where --pause-inside-text pauses).
struct ReplyUnit {
    QByteArray bytes;
    QList<qsizetype> textOkEnds;
};

class ModemCore {
public:
    ModemCore(const Profile& profile, MessageAreas& memory, const RuntimeSettings& settings);

    // Feeds received bytes. Command lines end with CR; an LF is never part of a command.
    // The echo of a line goes out with its reply, when the CR arrives.
    QList<QByteArray> receive(const QByteArray& bytes);
    QList<ReplyUnit> receiveUnits(const QByteArray& bytes);

    bool echo() const { return m_echo; }
    void setEcho(bool on) { m_echo = on; m_echoDefault = on; }
    void setEchoStyle(EchoStyle style) { m_echoStyle = style; }
    bool textMode() const { return m_sms.textMode(); }
    void setTextMode(bool on) { m_sms.setTextMode(on); m_textModeDefault = on; }
    void setCsdhSupported(bool on) { m_sms.setCsdhSupported(on); }
    const QList<SentSms>& sent() const { return m_sms.sent(); }
    SimCard& sim() { return m_sim; }
    // A "+CMTI" line is due for each new message (AT+CNMI=…,1; --cmti is the simulator's).
    bool announces() const { return m_indications.announces(); }
    int statusReportIndication() const { return m_indications.statusReports(); }  // AT+CNMI <ds>
    void setDirectReportsSupported(bool on) { m_indications.setDirectReportsSupported(on); }
    void setNextReference(int reference) { m_sms.setNextReference(reference); }
    // Between the "> " prompt and Ctrl-Z: an announcement would land inside the text.
    bool enteringText() const { return m_sms.enteringText(); }
    // Back from a power cut: echo, format and indications as at start, no half-typed line
    // or text, no text parameters (AT+CSDH=0). Messages, the SIM's state and the chosen memories are kept.
    void powerCycle();

    // Events for the log: ("CMD", escaped line), ("FAULT", ...), ("SENT SMS", ...).
    std::function<void(const QByteArray& kind, const QByteArray& detail)> onEvent;
    std::function<void(const SentSms&)> onSent;  // each message (part) AT+CMGS took

private:
    void takeTextByte(char byte, ReplyUnit& unit);
    QByteArray execute(const QByteArray& line, bool* silent);
    QByteArray dispatch(const QByteArray& command, const QByteArray& key);
    QByteArray basic(const QByteArray& body);
    QByteArray general(const QByteArray& name, CommandKind kind, const QByteArray& args);
    void event(const QByteArray& kind, const QByteArray& detail);
    void reset();

    const Profile& m_profile;
    const RuntimeSettings& m_settings;
    SmsCommands m_sms;
    SimCard m_sim;
    Indications m_indications;
    bool m_echo;
    bool m_echoDefault;
    bool m_textModeDefault = false;
    EchoStyle m_echoStyle;
    QByteArray m_line;      // command characters so far
    QByteArray m_lineEcho;  // what the echo of this line will be
    bool m_afterCommandCr = false;
};

// The command with letters upper-cased outside double quotes.
QByteArray commandKey(const QByteArray& command);

} // namespace zorvel::sim

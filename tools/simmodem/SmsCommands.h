#pragma once
// The SMS commands of 3GPP TS 27.005 over the message store: AT+CMGF, +CSDH, +CMGL,
// +CMGR, +CMGD, +CPMS and +CMGS with its "> " prompt, text entry and Ctrl-Z. They act on
// the memory AT+CPMS chose (the SIM until then).
#include "MessageAreas.h"
#include "Profile.h"
#include "Settings.h"
#include "SubmitDecoder.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <functional>
#include <utility>

namespace zorvel::sim {

struct SentSms {
    int reference = 0;
    QByteArray to;    // as given in AT+CMGS="..."; TP-DA in PDU mode
    QByteArray text;  // the bytes before Ctrl-Z (hex PDU in PDU mode)
    bool pduMode = false;
    // PDU mode: what the SMS-SUBMIT asked for and said.
    bool reportWanted = false;
    std::optional<SubmitConcatenation> concatenation;
    QByteArray decodedText;  // UTF-8 (8-bit data as it is)
    QDateTime taken;         // when the modem took it: a status report's TP-SCTS
};

enum class CommandKind { Execute, Read, Test, Set };

class SmsCommands {
public:
    SmsCommands(const Profile& profile, MessageAreas& areas);

    // The reply, or nothing when `name` ("+CMGL") is not an SMS command.
    std::optional<QByteArray> handle(const QByteArray& name, CommandKind kind, const QByteArray& args);

    // The faults of AT+CMGS (--cmgs-error, --cmgs-no-prompt, --cmgs-silent).
    void setSettings(const RuntimeSettings* settings) { m_settings = settings; }
    // The next reference (TP-MR) handed out; they run 0..255 and wrap.
    void setNextReference(int reference) { m_nextReference = reference & 0xFF; }

    bool textMode() const { return m_textMode; }
    void setTextMode(bool on) { m_textMode = on; }
    // AT+CSDH: text-mode headers with the text parameters. A modem without the command
    // answers every form of it with ERROR.
    void setShowParameters(bool on) { m_showParameters = on; }
    void setCsdhSupported(bool on) { m_csdhSupported = on; }

    // Offsets into the last reply just past each message text line reading "OK" (text-mode
    // +CMGL/+CMGR only), where a modem may pause; cleared by the next command.
    QList<qsizetype> takeTextOkEnds() { return std::exchange(m_textOkEnds, {}); }

    // Between the "> " prompt and Ctrl-Z / ESC.
    bool enteringText() const { return m_entering; }
    void appendText(char byte) { m_text += byte; }
    QByteArray finishText();  // Ctrl-Z: the +CMGS result
    QByteArray cancelText();  // ESC

    const QList<SentSms>& sent() const { return m_sent; }
    std::function<void(const QByteArray& kind, const QByteArray& detail)> onEvent;
    std::function<void(const SentSms&)> onSent;  // each message (part) the modem took

private:
    QByteArray list(const QByteArray& args);
    QByteArray read(const QByteArray& args);
    QByteArray remove(const QByteArray& args);
    QByteArray startSend(const QByteArray& args);
    QByteArray storages(CommandKind kind, const QByteArray& args);
    QByteArray showParameters(CommandKind kind, const QByteArray& args);
    QByteArray finishPdu();
    // Status reports have a header line and no text.
    QByteArray textReply(const QList<QPair<QByteArray, std::optional<QByteArray>>>& headersAndTexts);
    QByteArray pduBody(const StoredMessage& m, int* tpduLength) const;
    void event(const QByteArray& kind, const QByteArray& detail)
    {
        if (onEvent) onEvent(kind, detail);
    }
    int parameterError() const { return m_textMode ? 305 : 304; }

    const Profile& m_profile;
    MessageAreas& m_memory;  // <mem1> for list, read and delete
    bool m_textMode = false;
    bool m_showParameters = false;
    bool m_csdhSupported = true;
    QList<qsizetype> m_textOkEnds;
    bool m_entering = false;
    QByteArray m_destination;
    QByteArray m_text;
    int m_pduLength = 0;  // AT+CMGS=<length>
    int m_nextReference = 1;
    const RuntimeSettings* m_settings = nullptr;
    QList<SentSms> m_sent;
};

} // namespace zorvel::sim

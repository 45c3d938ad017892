#pragma once
// Wires the pieces together: terminal ↔ command interpreter, the output pace (pieces,
// delays), junk, the message sources (store file, inbox, generator) and the log; and the
// port's own faults: vanishing (SimulatorPort.cpp) and hanging; status reports for what
// is sent (SimulatorReports.cpp).
#include "EventLog.h"
#include "Inbox.h"
#include "MessageAreas.h"
#include "MessageStore.h"
#include "ModemCore.h"
#include "Options.h"
#include "PtyEndpoint.h"
#include "StoreFile.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>

namespace zorvel::sim {

class Simulator : public QObject {
    Q_OBJECT
public:
    Simulator(const Options& options, const Profile& profile, QObject* parent = nullptr);
    bool start(QString* error);
    void stop(const QByteArray& reason);
    EventLog& log() { return m_log; }

private:
    struct Chunk {
        QByteArray bytes;
        int delayMs = 0;
        QByteArray kind;  // "TX", "UNSOL"
    };

    void onReceived(const QByteArray& bytes);
    void onStoreChange(const char* what, const StoredMessage& message, const QByteArray& memory);
    void flushUnsolicited();
    void enqueue(const QByteArray& unit, const QByteArray& kind, const QList<qsizetype>& textOkEnds = {});
    void pump();
    void writeNow(const QByteArray& bytes, const QByteArray& kind);
    void writeJunk();
    void generateMessage();
    void addMessages(const QList<StoredMessage>& messages, const QByteArray& source);
    void onMessageFile(const QString& name, const QByteArray& contents);
    void onControlFile(const QString& name, const QByteArray& contents);
    void applyTimers();
    void applySimOptions(const QByteArray& controlLine);

    // SimulatorReports.cpp
    void scheduleReport(const SentSms& sms);
    void deliverReport(StatusReportFields report, ReportRule::Outcome outcome);
    QByteArray reportIndication(const StoredMessage& m, const QByteArray& memory) const;

    // SimulatorPort.cpp
    QString act(const ControlAction& action);
    void vanish();
    bool comeBack(QString* error);
    void hang(int seconds);
    void unhang(const QByteArray& reason);

    Options m_options;
    const Profile& m_profile;
    EventLog m_log;
    MessageStore m_store;
    MessageStore m_phone;    // "ME"
    MessageStore m_reports;  // "SR", with --reports sr|cdsi
    MessageAreas m_memory;   // the two, as AT+CPMS chose
    ModemCore m_core;
    PtyEndpoint m_pty;
    Inbox m_inbox;
    QList<Chunk> m_queue;
    QTimer m_pace;
    QTimer m_junkTimer;
    QTimer m_generateTimer;
    QTimer m_returnTimer;    // vanish-for
    QTimer m_hangTimer;      // hang-for
    bool m_hung = false;
    QList<QByteArray> m_unsolicited;  // +CMTI, +CDS, +CDSI lines not written yet
    int m_junkTurn = 0;
    int m_generated = 0;
    ConcatDefaults m_concat;  // the reference counter runs across the store file and the inbox
};

} // namespace zorvel::sim

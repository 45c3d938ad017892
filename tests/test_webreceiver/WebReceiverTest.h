#pragma once
// The local web receiver's test program: its parts called directly (test_webreceiver.cpp),
// the real build/zorvel-webreceiver over HTTP (ReceiverOverHttp.cpp) and its outbox
// (OutboxTest.cpp).
#include <QtTest>

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

class QNetworkReply;

class WebReceiverTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess receiver_;
    quint16 port_ = 0;
    QNetworkAccessManager network_;

    QString logPath() const { return dir_.filePath("requests.jsonl"); }
    QString controlPath() const { return dir_.filePath("control"); }

    QString outboxPath() const { return dir_.filePath("outbox.txt"); }
    QString statesPath() const { return dir_.filePath("states.txt"); }

    // `readErrors`: keep the receiver's standard error for the test instead of passing it on.
    void startReceiver(const QStringList& extra, bool readErrors = false);
    // `query` is already percent-encoded; StrictMode keeps those bytes as they are.
    QNetworkReply* get(const QByteArray& pathAndQuery, int timeoutMs = 5000);
    static int statusOf(QNetworkReply* reply);
    QList<QJsonObject> records() const;
    static QByteArray parameterBytes(const QJsonObject& record, const QString& name);
    void writeControl(const QByteArray& text);
    // Sends raw bytes on one connection and collects everything until the server closes.
    static QByteArray exchangeRaw(quint16 port, const QByteArray& bytes,
                                  QAbstractSocket::SocketError* error = nullptr);
    // A state report on its own connection, `query` already encoded; the answer's status.
    int report(const QByteArray& query, const QByteArray& idempotencyKey = {});
    // The ids a poll offers; empty, and a failed check, when the answer is not the JSON list.
    QStringList offeredIds();
    // Console lines until `count` have come.
    QStringList consoleLines(int count);

private slots:
    void cleanup();

    // Decoding, parsing and display, called directly
    void percentDecoding_data();
    void percentDecoding();
    void splitsTarget();
    void requestParsing_data();
    void requestParsing();
    void display_data();
    void display();

    // Fault rules
    void statusScriptParsing();
    void resetsThenScriptWhoseLastRepeats();
    void redirectLeavesScriptAlone();
    void controlOverridesOptions();
    void refusalByContentKeepsTheScript();
    void failRateIsSeededAndProportional();
    void controlFileLines_data();
    void controlFileLines();

    // The program over HTTP
    void awkwardValuesArriveExactly_data();
    void awkwardValuesArriveExactly();
    void statusScriptOverHttp();
    void resetClosesWithoutAnswer();
    void controlFileSwitchesMidRun();
    void redirectIsFollowedWithTheQuery();
    void lateAnswerTripsClientTimeout();
    void connectionHandling();
    void refusedMessageOverHttpWithReadableConsole();
    void idempotencyKeyIsRecorded_data();
    void idempotencyKeyIsRecorded();
    void consoleShowsDecodedValues();

    // The outbox
    void outboxFileLines_data();
    void outboxFileLines();
    void statesFileEscapesRoundTrip();
    void pollOffersFileUntilReported();
    void reportsOnConsoleAndStatesFile();
    void malformedReports_data();
    void malformedReports();
    void rawPollAnswerVerbatim_data();
    void rawPollAnswerVerbatim();
    void malformedOutboxLineWarnsOnce();
    void controlStatusAppliesToOutbox();
};

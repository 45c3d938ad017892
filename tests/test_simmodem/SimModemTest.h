#pragma once
// The simulated modem's test program: its pure parts (PDU encoder, store files, command
// interpreter) in tests/test_simmodem.cpp, the real program on a pseudo-terminal with a
// raw client in tests/test_simmodem/ProgramOnPty.cpp.
#include <QByteArray>
#include <QObject>

namespace zorvel::sim::testing {

inline const QByteArray kTwoMessages =
    "from: +15550002222\ntime: 17/11/19,14:05:09+00\ntext: Hello there\n\n"
    "from: +15550003333\ntime: 24/02/29,08:00:00-08\ntext:\nTom & Jerry #1 caf\xE9\n..dot line\n.\n";

} // namespace zorvel::sim::testing

class TestSimModem : public QObject {
    Q_OBJECT

private slots:
    // ---- PDU encoding ----
    void packSeptets_data();
    void packSeptets();
    void deliverPdu_data();
    void deliverPdu();
    void longTextIsCutToOneMessage();
    // ---- store files ----
    void storeFile_data();
    void storeFile();
    void missingTimeIsNowInModemForm();
    void storeTakesLowestFreeIndex();
    void storeHoldsBackWhenFull_data();
    void storeHoldsBackWhenFull();
    // ---- command interpreter ----
    void exchanges_data();
    void exchanges();
    void faults();
    void textListLayout();
    void genericHeaderCarriesTypeAndLength();
    void pduListLayout();
    void readAndDelete();
    void sendAcrossTwoExchanges();
    // ---- options and control lines ----
    void options_data();
    void options();
    void controlLines();
    // ---- sending in PDU mode, status reports (Sending.cpp) ----
    void submitDecoder_data();
    void submitDecoder();
    void pduSend_data();
    void pduSend();
    void sendFaults_data();
    void sendFaults();
    void statusReportPdu();
    void reportRules_data();
    void reportRules();
    void statusReportMemory();
    void statusReportIndications();
    // ---- the program on a pseudo-terminal ----
    void program_answersOverThePort();
    void program_echoOffOption();
    void program_inboxAndControlFiles();
    void program_missingPartArrivesLater();
    void program_heldMessageLandsAfterDelete();
    void program_replyInPieces();
    void program_junkWaitsWhilePortIsClosed();
    void program_idlesWhileClientOpensAndCloses();
    void program_removesLinkOnSigterm();
    void program_replacesAStaleLink();
    void program_statusReports_data();
    void program_statusReports();
    void program_sendFaultsAndReferenceWrap();
};

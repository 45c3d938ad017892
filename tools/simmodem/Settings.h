#pragma once
// What can change while the simulator runs (command line at start, control files in the
// inbox folder later): faults for tests and the pace of the output.
#include <QByteArray>
#include <QList>
#include <QPair>

namespace zorvel::sim {

struct RuntimeSettings {
    // Command patterns match a received command line (upper-cased outside quotes) that
    // starts with them: "AT+CMGL" matches AT+CMGL="ALL".
    QList<QByteArray> silent;  // no echo, no reply at all
    QList<QByteArray> error;   // "ERROR" instead of the reply
    QList<QPair<QByteArray, QByteArray>> replies;  // pattern → exact bytes after the echo
    int pieces = 1;          // each reply written in this many pieces
    int pieceDelayMs = 0;    // pause between pieces
    int replyDelayMs = 0;    // pause before the first piece
    int pauseInsideTextMs = 0;  // pause after a message text's "OK" line in a text-mode list/read
    int junkEveryMs = 0;     // 0: no junk
    QByteArray junk;         // empty: the profile's unsolicited lines in turn
    bool cmti = false;
    // AT+CMGS faults: "+CMS ERROR: <n>" instead of the prompt (-1: off), no prompt at all,
    // no answer after Ctrl-Z.
    int cmgsError = -1;
    bool cmgsNoPrompt = false;
    bool cmgsSilent = false;       // "+CMTI" line for every message that arrives while running
};

// The first pattern that `commandKey` starts with, or nothing.
const QByteArray* matchingPattern(const QList<QByteArray>& patterns, const QByteArray& commandKey);

} // namespace zorvel::sim

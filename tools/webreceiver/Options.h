#pragma once
// The command line of zorvel-webreceiver.
#include "AnswerPolicy.h"
#include "Outbox.h"

#include <QString>
#include <QStringList>

namespace zorvel::web {

struct ReceiverOptions {
    quint16 port = 0;  // 0: any free port, printed on the first line
    QString logPath;
    QString controlPath;
    QString tlsCertificate, tlsKey;  // both set: HTTPS instead of HTTP
    FaultOptions faults;
    OutboxOptions outbox;
};

struct ParsedOptions {
    ReceiverOptions options;
    bool help = false;
    QString error;     // set when an option is wrong
    QString helpText;
};

// `arguments` includes the program name, as QCoreApplication::arguments() gives it.
ParsedOptions parseOptions(const QStringList& arguments);

} // namespace zorvel::web

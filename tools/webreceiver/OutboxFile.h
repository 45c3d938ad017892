#pragma once
// The messages the receiver offers for sending, one a line: id<TAB>to<TAB>text, the text
// escaped as in OutboxText.h; blank lines and lines starting with '#' are skipped. The file
// is someone's hand work, so a bad line is skipped with a warning, never fatal.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace zorvel::web {

struct OutboxMessage {
    QString id;
    QString to;
    QString text;
};

struct ParsedOutbox {
    QList<OutboxMessage> messages;  // in file order, each id once
    QStringList warnings;           // "outbox line 3: ..." for every skipped line
};

// 1 to 64 characters of A-Z a-z 0-9 - _ . : the ids the gateway takes.
bool isValidMessageId(QByteArrayView id);

ParsedOutbox parseOutbox(const QByteArray& text);

// {"messages":[{"id":..,"to":..,"text":..}, ...]}, compact.
QByteArray pollBody(const QList<OutboxMessage>& messages);

} // namespace zorvel::web

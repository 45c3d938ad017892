#pragma once
// The request target split into path and query, and the query decoded strictly: every
// "%XX" becomes one byte, a '%' without two hex digits is an error, and '+' stays a
// plus (the gateway always sends a blank as %20, so a form decoder's rule would hide faults).
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace zorvel::web {

struct DecodedBytes {
    QByteArray bytes;
    QString error;  // empty when the text was well-formed
    bool ok() const { return error.isEmpty(); }
};

DecodedBytes percentDecode(QByteArrayView text);

struct QueryParameter {
    QByteArray name;
    QByteArray value;
};

struct DecodedQuery {
    QList<QueryParameter> parameters;  // in the order sent, duplicates kept
    QString error;                     // the first malformed part, if any
    bool ok() const { return error.isEmpty(); }
};

// "a=1&b=&c": pairs split at '&', each at its first '='; empty pieces ("&&") are skipped.
DecodedQuery decodeQuery(QByteArrayView query);

struct SplitTarget {
    QByteArray path;
    QByteArray query;
    bool hasQuery = false;
};

// Splits at the first '?'; everything after it, further '?' included, is the query.
SplitTarget splitTarget(const QByteArray& target);

} // namespace zorvel::web

#pragma once
// An incremental HTTP/1.x request parser: bytes arrive in any pieces, complete requests
// come out one at a time (pipelined ones in order). Enough of RFC 9112 for a test
// receiver: request line, header fields, a Content-Length body, keep-alive rules.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

namespace zorvel::web {

struct HttpRequest {
    QByteArray method;
    QByteArray target;  // origin form ("/path?query"); an absolute form is reduced to it
    int minorVersion = 1;
    QList<QPair<QByteArray, QByteArray>> headers;  // names as sent, values trimmed
    QByteArray body;
    bool keepAlive = true;

    // The first value of a header, by case-insensitive name; empty when absent.
    QByteArray header(QByteArrayView name) const;
};

class HttpRequestParser {
public:
    enum class Result { NeedMore, Ready, Failed };

    static constexpr qsizetype maxHeadBytes = 16 * 1024;
    static constexpr qsizetype maxBodyBytes = 1024 * 1024;

    void append(QByteArrayView bytes) { buffer_ += bytes; }

    // Takes the next complete request off the buffer. After Failed the parser stays
    // failed: the connection cannot be trusted to find the next request's start.
    Result next(HttpRequest& request);

    int errorStatus() const { return errorStatus_; }
    const QString& errorText() const { return errorText_; }
    // What the buffer held when parsing failed, for the log.
    QByteArray pending() const { return buffer_.left(512); }

private:
    Result fail(int status, const QString& text);
    bool parseRequestLine(QByteArrayView line, HttpRequest& request);
    bool parseHeaderLine(QByteArrayView line, HttpRequest& request);
    bool finishHead(HttpRequest& request, qsizetype& bodyLength);

    QByteArray buffer_;
    int errorStatus_ = 0;
    QString errorText_;
};

} // namespace zorvel::web

#include "HttpRequestParser.h"

#include <cctype>

namespace zorvel::web {

namespace {

// RFC 9110 token characters, the alphabet of methods and header names.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front())) text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
    return text;
}

bool hasConnectionToken(const HttpRequest& request, QByteArrayView token)
{
    for (const auto& [name, value] : request.headers) {
        if (name.compare("Connection", Qt::CaseInsensitive) != 0) continue;
        for (const QByteArray& part : value.split(','))
            if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

HttpRequestParser::Result HttpRequestParser::fail(int status, const QString& text)
{
    errorStatus_ = status;
    errorText_ = text;
    return Result::Failed;
}

HttpRequestParser::Result HttpRequestParser::next(HttpRequest& request)
{
    if (errorStatus_ != 0) return Result::Failed;

    // Empty lines before a request line are allowed (RFC 9112 2.2); skip them.
    qsizetype start = 0;
    while (start < buffer_.size() && (buffer_[start] == '\r' || buffer_[start] == '\n')) ++start;
    buffer_.remove(0, start);

    request = HttpRequest{};
    bool haveRequestLine = false;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lf = buffer_.indexOf('\n', pos);
        if (lf < 0) {
            if (buffer_.size() > maxHeadBytes) return fail(431, QStringLiteral("request head too large"));
            return Result::NeedMore;
        }
        if (lf > maxHeadBytes) return fail(431, QStringLiteral("request head too large"));
        QByteArrayView line(buffer_.constData() + pos, lf - pos);
        if (line.endsWith('\r')) line.chop(1);  // a bare LF ending is tolerated
        pos = lf + 1;
        if (!haveRequestLine) {
            if (!parseRequestLine(line, request)) return Result::Failed;
            haveRequestLine = true;
        } else if (line.isEmpty()) {
            break;
        } else if (!parseHeaderLine(line, request)) {
            return Result::Failed;
        }
    }

    qsizetype bodyLength = 0;
    if (!finishHead(request, bodyLength)) return Result::Failed;
    if (buffer_.size() - pos < bodyLength) return Result::NeedMore;
    request.body = buffer_.mid(pos, bodyLength);
    buffer_.remove(0, pos + bodyLength);
    return Result::Ready;
}

bool HttpRequestParser::parseRequestLine(QByteArrayView line, HttpRequest& request)
{
    const QList<QByteArray> parts = line.toByteArray().split(' ');
    if (parts.size() != 3) {
        fail(400, QStringLiteral("request line is not METHOD SP TARGET SP VERSION"));
        return false;
    }
    if (!isToken(parts[0])) {
        fail(400, QStringLiteral("bad method"));
        return false;
    }
    const QByteArray& version = parts[2];
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' ||
        !std::isdigit(static_cast<unsigned char>(version[5])) ||
        !std::isdigit(static_cast<unsigned char>(version[7]))) {
        fail(400, QStringLiteral("bad HTTP version"));
        return false;
    }
    if (version[5] != '1') {
        fail(505, QStringLiteral("only HTTP/1.x is served"));
        return false;
    }
    QByteArray target = parts[1];
    for (char c : target) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            fail(400, QStringLiteral("control character in target"));
            return false;
        }
    }
    // Absolute form (sent to proxies): keep only the path and query.
    for (const char* scheme : {"http://", "https://"}) {
        if (target.startsWith(scheme)) {
            const qsizetype slash = target.indexOf('/', qstrlen(scheme));
            const qsizetype mark = target.indexOf('?', qstrlen(scheme));
            if (slash < 0 || (mark >= 0 && mark < slash))
                target = "/" + (mark >= 0 ? target.mid(mark) : QByteArray());
            else
                target = target.mid(slash);
        }
    }
    if (!target.startsWith('/') && !(target == "*" && parts[0] == "OPTIONS")) {
        fail(400, QStringLiteral("target does not start with '/'"));
        return false;
    }
    request.method = parts[0];
    request.target = target;
    request.minorVersion = version[7] - '0';
    return true;
}

bool HttpRequestParser::parseHeaderLine(QByteArrayView line, HttpRequest& request)
{
    if (isBlank(line.front())) {
        fail(400, QStringLiteral("folded header line"));
        return false;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || !isToken(line.first(colon))) {
        fail(400, QStringLiteral("bad header line"));
        return false;
    }
    request.headers.append({line.first(colon).toByteArray(), trimBlanks(line.sliced(colon + 1)).toByteArray()});
    return true;
}

bool HttpRequestParser::finishHead(HttpRequest& request, qsizetype& bodyLength)
{
    if (!request.header("Transfer-Encoding").isEmpty()) {
        fail(501, QStringLiteral("Transfer-Encoding is not supported"));
        return false;
    }
    // Every Content-Length must agree; a mismatch is a smuggling attempt, not a body.
    QByteArray length;
    for (const auto& [name, value] : request.headers) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) != 0) continue;
        bool ok = !value.isEmpty();
        for (char c : value) ok = ok && c >= '0' && c <= '9';
        if (!ok || (!length.isNull() && value != length)) {
            fail(400, QStringLiteral("bad Content-Length"));
            return false;
        }
        length = value;
    }
    if (!length.isNull()) {
        if (length.size() > 9 || length.toLongLong() > maxBodyBytes) {
            fail(413, QStringLiteral("body too large"));
            return false;
        }
        bodyLength = length.toLongLong();
    }
    // HTTP/1.1 keeps the connection unless told to close; 1.0 closes unless told to keep it.
    request.keepAlive = !hasConnectionToken(request, "close") &&
                        (request.minorVersion >= 1 || hasConnectionToken(request, "keep-alive"));
    return true;
}

} // namespace zorvel::web

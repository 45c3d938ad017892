#include "HttpResponse.h"

namespace zorvel::web {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Status " + QByteArray::number(status);
    }
}

namespace {

QByteArray buildAnswer(int status, bool keepAlive, const QByteArray& location, const QByteArray& contentType,
                       const QByteArray& body, bool headRequest)
{
    // 1xx, 204 and 304 never carry a body.
    const bool bodyAllowed = status >= 200 && status != 204 && status != 304;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!location.isEmpty()) out += "Location: " + location + "\r\n";
    if (bodyAllowed) {
        out += "Content-Type: " + contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    }
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (bodyAllowed && !headRequest) out += body;
    return out;
}

} // namespace

QByteArray buildResponse(int status, bool keepAlive, const QByteArray& location, bool headRequest)
{
    const QByteArray body = status / 100 == 2 ? QByteArray("OK") : reasonPhrase(status);
    return buildAnswer(status, keepAlive, location, "text/plain; charset=utf-8", body, headRequest);
}

QByteArray buildResponseWithBody(int status, bool keepAlive, const QByteArray& contentType,
                                 const QByteArray& body, bool headRequest)
{
    return buildAnswer(status, keepAlive, {}, contentType, body, headRequest);
}

} // namespace zorvel::web

#pragma once
// The bytes of a short plain-text answer.
#include <QByteArray>

namespace zorvel::web {

QByteArray reasonPhrase(int status);

// "OK" for a 2xx, otherwise the reason phrase, as the body (none for HEAD). A Location
// header is added when `location` is set.
QByteArray buildResponse(int status, bool keepAlive, const QByteArray& location = {},
                         bool headRequest = false);

// An answer with this body and Content-Type whatever the status, as long as the status
// may carry a body at all (not 1xx, 204 or 304).
QByteArray buildResponseWithBody(int status, bool keepAlive, const QByteArray& contentType,
                                 const QByteArray& body, bool headRequest = false);

} // namespace zorvel::web

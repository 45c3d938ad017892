#pragma once
// One forwarding GET over a connection of its own: connect (TLS for https), send the
// request, read the answer's head and decide on its status. 1xx heads are skipped and
// no redirect is followed. What it reads is bounded (a head of 32 KiB, 64 KiB of body,
// which is dropped) and one deadline covers everything from the name lookup on.
#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "HttpClient.h"

namespace zorvel {

// The request as it goes out. The path and query are formatted as QNetworkAccessManager
// formatted them (fully encoded, dot segments removed, "/" for an empty path), and so
// is Host, so the web application sees the same request line and Host as before.
// `headers` follow the usual ones; one holding a control byte is left out.
QByteArray GetRequestBytes(const QUrl& url, const HttpHeaders& headers = {});

class HttpGet : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 headLimit = 32 * 1024;
    static constexpr qint64 bodyLimit = 64 * 1024;

    // `decided` runs once, as soon as the outcome is known. The object then reads what
    // is left of the body (up to the limit, within the deadline) so that the server can
    // finish its answer, and deletes itself; its parent deletes it earlier if it ends first.
    HttpGet(const QUrl& url, const HttpHeaders& headers, int timeoutMs, const std::optional<QSslConfiguration>& ssl,
            std::function<void(const HttpResult&)> decided, QObject* parent);
    ~HttpGet() override;

private:
    void readAnswer();
    void connectionEnded(QAbstractSocket::SocketError error);
    void decide(const HttpResult& result);
    void stop();
    std::string reason(QAbstractSocket::SocketError error) const;

    QUrl url_;
    HttpHeaders headers_;
    std::unique_ptr<QTcpSocket> socket_; // a QSslSocket for https
    QTimer deadline_;
    QByteArray head_;     // received, not yet read as a head
    qint64 bodyRead_ = 0;
    std::function<void(const HttpResult&)> decided_;
    bool isDecided_ = false;
    bool stopped_ = false;
};

} // namespace zorvel

#pragma once
// One GET over a connection of its own: connect (TLS for https), send the request, read
// the answer's head and decide on its status. 1xx heads are skipped and no redirect is
// followed. What it reads is bounded (a head of 32 KiB, 64 KiB of body, which is
// dropped) and one deadline covers everything from the name lookup on; after the
// decision the body gets a second at most, so a server that keeps the connection open
// holds no socket for long. A request that wants the body (a body limit) decides only
// once the body is whole, within the same deadline.
#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "HttpBodyReader.h"
#include "HttpClient.h"

namespace zorvel {

// The request as it goes out: `target` (RequestTarget() of the address as written) in the
// request line, Host formatted as QNetworkAccessManager formatted it, so the web
// application sees the same Host as before. `headers` follow the usual ones; one holding
// a control byte is left out.
QByteArray GetRequestBytes(const QUrl& url, const std::string& target, const HttpHeaders& headers = {});

class HttpGet : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 headLimit = 32 * 1024;
    static constexpr qint64 bodyLimit = 64 * 1024;
    static constexpr int drainMs = 1000;
    // Sockets still reading a body, per client: a long run of quick answers from a server
    // that never closes must not use up the process's file descriptors.
    static constexpr int drainingAtMost = 16;

    // `decided` runs once, as soon as the outcome is known. The object then reads what
    // is left of the body (up to the limit, for drainMs at most, within the deadline) so
    // that the server can finish its answer, and deletes itself; its parent deletes it
    // earlier if it ends first.
    HttpGet(const QUrl& url, const std::string& target, const HttpHeaders& headers, int timeoutMs,
            const std::optional<QSslConfiguration>& ssl, std::function<void(const HttpResult&)> decided,
            QObject* parent, std::optional<std::size_t> keptBodyLimit = std::nullopt);
    ~HttpGet() override;

    // Decided, and still reading the body.
    bool draining() const { return isDecided_ && !stopped_; }
    // Closes the connection now; the outcome was given already (or never will be).
    void close() { stop(); }

signals:
    // The outcome is given and the body is being read.
    void drainStarted();

private:
    void readAnswer();
    void readBody(const QByteArray& bytes);
    void connectionEnded(QAbstractSocket::SocketError error);
    void decide(const HttpResult& result);
    void stop();
    std::string reason(QAbstractSocket::SocketError error) const;

    QUrl url_;
    std::string target_;
    HttpHeaders headers_;
    std::unique_ptr<QTcpSocket> socket_; // a QSslSocket for https
    QTimer deadline_;
    QByteArray head_;     // received, not yet read as a head
    qint64 bodyRead_ = 0;
    std::optional<std::size_t> bodyLimit_;
    int status_ = 0;                     // of the final head, while its body is read
    std::optional<HttpBodyReader> body_; // the body the caller wants, once the head is in
    std::function<void(const HttpResult&)> decided_;
    bool isDecided_ = false;
    bool stopped_ = false;
};

} // namespace zorvel

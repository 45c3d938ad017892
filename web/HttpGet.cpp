#include "HttpGet.h"

#include <algorithm>

#include <QHostAddress>
#include <QSslSocket>

#include <string_view>

#include "ByteEscape.h"
#include "HttpResponseHead.h"

namespace zorvel {

namespace {

std::string Duration(int ms)
{
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

} // namespace

QByteArray GetRequestBytes(const QUrl& url, const std::string& target, const HttpHeaders& headers)
{
    QByteArray host;
    const QHostAddress address(url.host());
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = '[' + url.host().toLatin1() + ']';
    else if (!address.isNull())
        host = url.host().toLatin1();
    else
        host = QUrl::toAce(url.host());
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());

    QByteArray request = "GET " + QByteArray::fromStdString(target) + " HTTP/1.1\r\nHost: " + host
        + "\r\nConnection: close\r\nAccept-Language: en,*\r\nUser-Agent: Mozilla/5.0\r\n";
    // Credentials in the address were answered to a Basic challenge before; now they go
    // with the request.
    if (!url.userName().isEmpty() || !url.password().isEmpty())
        request += "Authorization: Basic "
            + (url.userName(QUrl::FullyDecoded) + ':' + url.password(QUrl::FullyDecoded)).toUtf8().toBase64()
            + "\r\n";
    const auto printable = [](const std::string& text) {
        return std::none_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    };
    for (const auto& [name, value] : headers)
        if (!name.empty() && printable(name) && printable(value) && name.find(':') == std::string::npos)
            request += QByteArray::fromStdString(name) + ": " + QByteArray::fromStdString(value) + "\r\n";
    return request + "\r\n";
}

HttpGet::HttpGet(const QUrl& url, const std::string& target, const HttpHeaders& headers, int timeoutMs,
                 const std::optional<QSslConfiguration>& ssl, std::function<void(const HttpResult&)> decided,
                 QObject* parent, std::optional<std::size_t> keptBodyLimit)
    : QObject(parent), url_(url), target_(target), headers_(headers), bodyLimit_(keptBodyLimit),
      decided_(std::move(decided))
{
    const bool tls = url.scheme() == QLatin1String("https");
    QSslSocket* tlsSocket = tls ? new QSslSocket : nullptr;
    socket_.reset(tls ? tlsSocket : new QTcpSocket);
    // Qt stops taking bytes from the connection when this much waits unread.
    socket_->setReadBufferSize(bodyLimit);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this, timeoutMs] {
        if (!isDecided_)
            decide({0, (body_ ? "the answer's body did not end within " : "no answer within ") + Duration(timeoutMs)});
        stop();
    });
    connect(socket_.get(), &QIODevice::readyRead, this, &HttpGet::readAnswer);
    connect(socket_.get(), &QAbstractSocket::errorOccurred, this, &HttpGet::connectionEnded);
    connect(socket_.get(), &QAbstractSocket::disconnected, this,
            [this] { connectionEnded(QAbstractSocket::RemoteHostClosedError); });
    deadline_.start(timeoutMs);

    const QString host = url.host(QUrl::FullyEncoded);
    const auto send = [this] { socket_->write(GetRequestBytes(url_, target_, headers_)); };
    if (tls) {
        if (ssl)
            tlsSocket->setSslConfiguration(*ssl);
        connect(tlsSocket, &QSslSocket::encrypted, this, send);
        // The host name checks the certificate and goes out as SNI.
        tlsSocket->connectToHostEncrypted(host, quint16(url.port(443)));
    } else {
        connect(socket_.get(), &QAbstractSocket::connected, this, send);
        socket_->connectToHost(host, quint16(url.port(80)));
    }
}

HttpGet::~HttpGet()
{
    disconnect(socket_.get(), nullptr, this, nullptr);
    socket_->abort();
}

void HttpGet::readAnswer()
{
    if (stopped_)
        return;
    if (isDecided_) {
        // The body is not wanted: read so the server can finish, then let go.
        bodyRead_ += socket_->readAll().size();
        if (bodyRead_ >= bodyLimit)
            stop();
        return;
    }
    if (body_)
        return readBody(socket_->readAll());
    head_ += socket_->readAll();
    for (;;) {
        const ResponseHead head = ParseResponseHead(std::string_view(head_.constData(), std::size_t(head_.size())));
        if (head.outcome == ResponseHead::Outcome::Malformed) {
            decide({0, "the answer is not HTTP/1.x"});
            return stop();
        }
        const bool tooLong = head.outcome == ResponseHead::Outcome::Incomplete ? head_.size() > headLimit
                                                                               : qint64(head.length) > headLimit;
        if (tooLong) {
            decide({0, "the answer's head is longer than 32 KiB"});
            return stop();
        }
        if (head.outcome == ResponseHead::Outcome::Incomplete)
            return;
        if (head.status >= 200 && bodyLimit_) {
            body_.emplace(std::string_view(head_.constData(), head.length), head.status, *bodyLimit_);
            status_ = head.status;
            const QByteArray rest = head_.mid(qsizetype(head.length));
            head_.clear();
            return readBody(rest);
        }
        head_.remove(0, qsizetype(head.length));
        if (head.status >= 200) {
            bodyRead_ = head_.size();
            head_.clear();
            decide({head.status, {}});
            if (bodyRead_ >= bodyLimit)
                return stop();
            // The server may keep the connection open whatever it was told.
            deadline_.start(std::min(deadline_.remainingTime(), drainMs));
            emit drainStarted();
            return;
        }
        // An interim answer (100 Continue, 103 Early Hints): the final one follows.
    }
}

void HttpGet::readBody(const QByteArray& bytes)
{
    switch (body_->take(std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
    case HttpBodyReader::State::Reading: return;
    case HttpBodyReader::State::Complete: decide({status_, {}, body_->body()}); break;
    case HttpBodyReader::State::Failed: decide({0, body_->failure()}); break;
    }
    stop();
}

void HttpGet::connectionEnded(QAbstractSocket::SocketError error)
{
    if (stopped_)
        return;
    // Bytes that came before the end still count.
    readAnswer();
    // A body that runs until the close is whole only when the server closed it cleanly.
    if (!isDecided_ && body_ && error == QAbstractSocket::RemoteHostClosedError) {
        if (body_->closed() == HttpBodyReader::State::Complete)
            decide({status_, {}, body_->body()});
        else
            decide({0, body_->failure()});
    }
    if (!isDecided_)
        decide({0, reason(error)});
    stop();
}

std::string HttpGet::reason(QAbstractSocket::SocketError error) const
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return "connection refused";
    case QAbstractSocket::HostNotFoundError: return "host not found";
    case QAbstractSocket::RemoteHostClosedError: return "connection closed";
    case QAbstractSocket::SslHandshakeFailedError:
        if (const auto* tls = qobject_cast<const QSslSocket*>(socket_.get());
            tls && !tls->sslHandshakeErrors().isEmpty())
            return "certificate not trusted";
        break;
    default: break;
    }
    // Qt's own words, on one printable line, and never with the address (it holds the key).
    const QByteArray text = socket_->errorString().toUtf8();
    const QByteArray query = url_.query(QUrl::FullyEncoded).toUtf8();
    if (!query.isEmpty() && (text.contains(query) || text.contains(url_.query(QUrl::FullyDecoded).toUtf8())))
        return "network error";
    return EscapeBytes(std::string_view(text.constData(), std::size_t(text.size())));
}

void HttpGet::decide(const HttpResult& result)
{
    isDecided_ = true;
    const auto decided = std::move(decided_);
    decided_ = nullptr;
    decided(result);
}

void HttpGet::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    deadline_.stop();
    disconnect(socket_.get(), nullptr, this, nullptr);
    socket_->abort();
    deleteLater();
}

} // namespace zorvel

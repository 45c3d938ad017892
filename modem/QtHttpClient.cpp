#include "QtHttpClient.h"

#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

namespace zorvel {

QtHttpClient::QtHttpClient()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("ZORVEL_HTTP_TIMEOUT_MS", &ok);
    if (ok && fromEnvironment > 0)
        timeoutMs_ = fromEnvironment;
    manager_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // Tests trust their own certificate this way; Qt reads the system's certificates
    // from fixed folders and ignores OpenSSL's SSL_CERT_FILE.
    const QString extraCa = qEnvironmentVariable("ZORVEL_EXTRA_CA_FILE");
    if (!extraCa.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(QSslCertificate::fromPath(extraCa));
        ssl_ = ssl;
    }
}

QtHttpClient::~QtHttpClient()
{
    // The cycle that waits for the answer is going away too: no late call into it.
    if (inFlight_) {
        inFlight_->disconnect();
        inFlight_->abort();
    }
}

void QtHttpClient::get(const std::string& url, std::function<void(const HttpResult&)> done)
{
    const QUrl address(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                       QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != "http" && scheme != "https") || address.host().isEmpty()) {
        // Answer from the event loop like a real request would, never from inside get().
        QTimer::singleShot(0, &manager_, [done = std::move(done)] {
            done({0, "\"Dest\" is not a usable http or https address"});
        });
        return;
    }
    QNetworkRequest request(address);
    request.setTransferTimeout(timeoutMs_);
    if (ssl_)
        request.setSslConfiguration(*ssl_);
    QNetworkReply* reply = manager_.get(request);
    inFlight_ = reply;
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [this, reply, done = std::move(done)] {
                         reply->deleteLater();
                         inFlight_ = nullptr;
                         done(resultOf(*reply, timeoutMs_));
                     });
}

HttpResult QtHttpClient::resultOf(QNetworkReply& reply, int timeoutMs)
{
    HttpResult result;
    result.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (result.status != 0)
        return result;
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
        result.error = "no answer within " + (timeoutMs % 1000 == 0
                                                   ? std::to_string(timeoutMs / 1000) + " s"
                                                   : std::to_string(timeoutMs) + " ms");
        break;
    case QNetworkReply::ConnectionRefusedError: result.error = "connection refused"; break;
    case QNetworkReply::HostNotFoundError: result.error = "host not found"; break;
    case QNetworkReply::SslHandshakeFailedError: result.error = "certificate not trusted"; break;
    case QNetworkReply::RemoteHostClosedError: result.error = "connection closed"; break;
    default: result.error = reply.errorString().toStdString(); break;
    }
    return result;
}

} // namespace zorvel

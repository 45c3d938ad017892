#include "QtHttpClient.h"

#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

#include "ForwardUrl.h"
#include "HttpGet.h"

namespace zorvel {

QtHttpClient::QtHttpClient()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("ZORVEL_HTTP_TIMEOUT_MS", &ok);
    if (ok && fromEnvironment > 0)
        timeoutMs_ = fromEnvironment;
    const QString extraCa = qEnvironmentVariable("ZORVEL_EXTRA_CA_FILE");
    if (!extraCa.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(QSslCertificate::fromPath(extraCa));
        ssl_ = ssl;
    }
}

void QtHttpClient::get(const std::string& url, const HttpHeaders& headers,
                       std::function<void(const HttpResult&)> done)
{
    get(url, headers, HttpRequestOptions{}, std::move(done));
}

void QtHttpClient::get(const std::string& url, const HttpHeaders& headers, const HttpRequestOptions& options,
                       std::function<void(const HttpResult&)> done)
{
    ++waiting_;
    // Always from the event loop, never from inside get() or a socket's signal.
    auto answer = [this, done = std::move(done)](const HttpResult& result) {
        QTimer::singleShot(0, &context_, [this, done, result] {
            --waiting_;
            done(result);
        });
    };
    const QUrl address(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                       QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || (scheme != "http" && scheme != "https") || address.host().isEmpty()) {
        answer({0, "\"Dest\" is not a usable http or https address"});
        return;
    }
    std::erase_if(draining_, [](const QPointer<HttpGet>& request) { return !request || !request->draining(); });
    while (draining_.size() >= std::size_t(HttpGet::drainingAtMost)) {
        draining_.front()->close();
        draining_.pop_front();
    }
    // The path and query go out as written; QUrl would remove dot segments and decode escapes.
    auto* request = new HttpGet(address, RequestTarget(url), headers, timeoutMs_, ssl_, std::move(answer), &context_,
                                options.bodyLimit);
    QObject::connect(request, &HttpGet::drainStarted, &context_, [this, request] { draining_.push_back(request); });
}

} // namespace zorvel

#pragma once
// Forwarding requests over QNetworkAccessManager: a GET with a transfer time-out (60 s,
// or ZORVEL_HTTP_TIMEOUT_MS for tests), redirects followed only when they are not less
// safe, certificates checked as usual (tests may add a CA with ZORVEL_EXTRA_CA_FILE).
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslConfiguration>
#include <optional>
#include <QNetworkReply>

#include "HttpClient.h"

namespace zorvel {

class QtHttpClient : public HttpClient {
public:
    QtHttpClient();
    ~QtHttpClient() override;

    void get(const std::string& url, std::function<void(const HttpResult&)> done) override;

    static HttpResult resultOf(QNetworkReply& reply, int timeoutMs);

    // A request went out and has not ended yet.
    bool requestInFlight() const { return !inFlight_.isNull(); }

private:
    QNetworkAccessManager manager_;
    QPointer<QNetworkReply> inFlight_;
    int timeoutMs_ = 60'000;
    std::optional<QSslConfiguration> ssl_;
};

} // namespace zorvel

#pragma once
// Forwarding requests over HttpGet: the status of the answer's head decides, 1xx skipped,
// no redirect followed, one deadline for the whole request (60 s, or
// ZORVEL_HTTP_TIMEOUT_MS for tests), certificates checked as usual. Tests may add a
// trusted authority with ZORVEL_EXTRA_CA_FILE: Qt does not read SSL_CERT_FILE or
// SSL_CERT_DIR.
//
// Our own client rather than QNetworkAccessManager: Qt 6.4's manager takes an interim
// "103 Early Hints" for the final answer (a request the web application refused counted
// as forwarded), reads a body without a cap, has no single deadline from the name lookup
// to the answer, and follows redirects unless told at every request.
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>

#include <deque>
#include <optional>

#include "HttpClient.h"

namespace zorvel {

class HttpGet;

class QtHttpClient : public HttpClient {
public:
    QtHttpClient();

    using HttpClient::get;
    void get(const std::string& url, const HttpHeaders& headers,
             std::function<void(const HttpResult&)> done) override;
    void get(const std::string& url, const HttpHeaders& headers, const HttpRequestOptions& options,
             std::function<void(const HttpResult&)> done) override;

    // A request went out and its `done` has not run yet.
    bool requestInFlight() const { return waiting_ > 0; }

private:
    // Parent of the requests and context of the queued answers: both end with the client,
    // so no answer reaches a cycle that has gone.
    QObject context_;
    // Oldest first; the first to be closed when a new request needs room.
    std::deque<QPointer<HttpGet>> draining_;
    int waiting_ = 0;
    int timeoutMs_ = 60'000;
    std::optional<QSslConfiguration> ssl_;
};

} // namespace zorvel

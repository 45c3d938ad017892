#pragma once
// One forwarding request: a GET of a finished address, answered later with the outcome.
// The program uses QNetworkAccessManager behind it; the cycle tests use a fake.
#include <functional>
#include <string>

namespace zorvel {

struct HttpResult {
    int status = 0;    // the HTTP status, 0 when no response came
    std::string error; // why no response came (refused, time-out, certificate, ...)

    bool accepted() const { return status >= 200 && status <= 299; }
    // "HTTP 500", or the error, for the window.
    std::string describe() const;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // `done` runs exactly once, later, from the event loop; never after the client ends.
    virtual void get(const std::string& url, std::function<void(const HttpResult&)> done) = 0;
};

} // namespace zorvel

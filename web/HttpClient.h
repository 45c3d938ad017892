#pragma once
// One forwarding request: a GET of a finished address, answered later with the outcome.
// The program uses its own small HTTP/1.1 client behind it; the cycle tests use a fake.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zorvel {

struct HttpResult {
    int status = 0;    // the final HTTP status (never 1xx), 0 when none came
    std::string error; // why none came (refused, time-out, certificate, ...), printable

    // Only a 2xx is acceptance; a redirect is never followed, so a 3xx is not.
    bool accepted() const { return status >= 200 && status <= 299; }
    // "HTTP 500", "HTTP 302 (redirect not followed)", or the error, for the window.
    std::string describe() const;
};

// Extra request headers, name and value; neither may hold a control byte.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // `done` runs exactly once, later, from the event loop; never after the client ends.
    virtual void get(const std::string& url, const HttpHeaders& headers,
                     std::function<void(const HttpResult&)> done) = 0;
    void get(const std::string& url, std::function<void(const HttpResult&)> done)
    {
        get(url, {}, std::move(done));
    }
};

} // namespace zorvel

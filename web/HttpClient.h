#pragma once
// One request to the web application: a GET of a finished address, answered later with
// the outcome, and the answer's body when the caller asks for it. The program uses its
// own small HTTP/1.1 client behind it; the cycle tests use a fake.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvel {

struct HttpResult {
    int status = 0;     // the final HTTP status (never 1xx), 0 when none came
    std::string error;  // why none came (refused, time-out, certificate, ...), printable
    std::string body{}; // the whole body, only when the request asked for it

    // Only a 2xx is acceptance; a redirect is never followed, so a 3xx is not.
    bool accepted() const { return status >= 200 && status <= 299; }
    // The server's failure, not the request's: no answer at all, or 502, 503, 504 from a
    // proxy in front of it. Everything waits then, not only this request.
    bool serverFailed() const { return status == 0 || status == 502 || status == 503 || status == 504; }
    // "HTTP 500", "HTTP 302 (redirect not followed)", or the error, for the window.
    std::string describe() const;
};

// Extra request headers, name and value; neither may hold a control byte.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequestOptions {
    // Without a limit the body is read only so that the server can finish, then dropped,
    // and the status decides as soon as it comes. With one, the outcome waits for the
    // whole body, and a body longer than the limit (or cut short) is an error, never
    // a part of it taken for the whole.
    std::optional<std::size_t> bodyLimit;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // `done` runs exactly once, later, from the event loop; never after the client ends.
    virtual void get(const std::string& url, const HttpHeaders& headers,
                     std::function<void(const HttpResult&)> done) = 0;
    // The same with options. A client that cannot hand back a body answers an error when
    // one is asked for.
    virtual void get(const std::string& url, const HttpHeaders& headers, const HttpRequestOptions& options,
                     std::function<void(const HttpResult&)> done);
    void get(const std::string& url, std::function<void(const HttpResult&)> done)
    {
        get(url, {}, std::move(done));
    }
};

} // namespace zorvel

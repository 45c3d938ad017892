#pragma once
// The web application behind the forwarding address: it decodes each request's query
// (key, sender, time, message), answers as a plan from the fuzzer's input says, after
// some fake time, and tells the store about every 2xx.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Clock.h"
#include "HttpClient.h"
#include "ModelStore.h"
#include "Trace.h"

namespace zorvel::model {

struct WebStyle {
    int status = 200;        // 0: no response (the gateway's time-out)
    std::int64_t delayMs = 100;
};

// One letter per request: 'A' 200, 'B' 204, 'R' 302, 'Q' 400, 'E' 500, 'T' no response
// (the gateway's client gives up after 60 s); digits after a letter give the delay in
// seconds, up to 59 for an answer: later, the client has given up, and a 2xx it never
// saw is no acceptance.
std::vector<WebStyle> ParseWebStyles(std::string_view tokens);

// key, sender, time and message from "<dest>?key=..&sender=..&time=..&message=..", as a
// form decoder reads them; nothing when the address is not of that shape.
std::optional<std::vector<std::string>> DecodeQuery(const std::string& url, const std::string& dest);

class ModelWeb : public HttpClient {
public:
    ModelWeb(Clock& clock, ModelStore& store, Trace& trace, std::string dest, std::string key);

    using HttpClient::get;
    void get(const std::string& url, const HttpHeaders& headers,
             std::function<void(const HttpResult&)> done) override;

    void plan(const std::vector<WebStyle>& styles);
    // From now on every request gets a 200 at once.
    void behave() { plan_.clear(); }
    bool idle() const;

private:
    struct Pending {
        std::unique_ptr<OneShotTimer> timer;
        bool answered = false;
    };
    void answer(Pending& pending, const std::string& url, const WebStyle& style,
                const std::function<void(const HttpResult&)>& done);

    Clock& clock_;
    ModelStore& store_;
    Trace& trace_;
    std::string dest_, key_;
    std::deque<WebStyle> plan_;
    std::deque<Pending> pending_;
};

} // namespace zorvel::model

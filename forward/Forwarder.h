#pragma once
// One message to the web application: its address made of the settings and the message,
// one GET through the HTTP client, and the report of how it ended (accepted, or why not,
// and how long it took). The same straight from the modem and from the local store, so
// both send alike and their log lines say alike.
#include <functional>
#include <string>

#include "Clock.h"
#include "ForwardReport.h"
#include "HttpClient.h"
#include "MessageMode.h"

namespace zorvel {

// Where messages go: the forwarding address and the key the request carries.
struct ForwardTarget {
    std::string Dest;
    std::string SecKey;
};

// How messages are taken off the modem and where they go.
struct ForwardingSettings {
    MessageMode mode = MessageMode::Text;
    std::string Dest;
    std::string SecKey;
    std::int64_t multipartWaitMs = 10 * 60 * 1000;
};

class Forwarder {
public:
    Forwarder(HttpClient& http, Clock& clock, ForwardTarget target);

    using Ended = std::function<void(const HttpResult& result, ForwardReport report)>;
    // `report` names the message, its sender the one the request carries; `done` gets it
    // back with the status, the failure (if any) and the time taken.
    void send(ForwardReport report, const std::string& stamp, const std::string& text,
              const HttpHeaders& headers, Ended done);

private:
    HttpClient& http_;
    Clock& clock_;
    ForwardTarget target_;
};

} // namespace zorvel

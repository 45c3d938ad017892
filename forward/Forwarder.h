#pragma once
// One message to the web application: its address made of the settings and the message,
// one GET through the HTTP client, and the report of how it ended (accepted, or why not,
// and how long it took). The same straight from the modem and from the local store, so
// both send alike and their log lines say alike.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Clock.h"
#include "HttpClient.h"
#include "MessageMode.h"

namespace zorvel {

// How messages are taken off the modem and where they go.
struct ForwardingSettings {
    MessageMode mode = MessageMode::Text;
    std::string destination; // the address as written after Dest=
    std::string key;         // Key=, sent as "key"
    std::int64_t multipartWaitMs = 10 * 60 * 1000;
};

// One request that ended, accepted or not, for the log and the window; never the text.
struct ForwardReport {
    std::vector<std::string> indexes; // the modem's entries that make up the message
    std::string sender;               // as the request carried it ("PDU" in plain PDU mode)
    int parts = 1;                    // entries joined into this message
    std::size_t textLength = 0;       // characters of the text forwarded (never the text)
    int status = 0;                   // HTTP status; 0 when no response came
    std::string failure{};            // empty when accepted, else the window's reason
    std::int64_t elapsedMs = 0;       // from the request going out to its end
    std::int64_t nextTryMs = 0;       // not accepted: how long it waits (0: its next turn)
};

class Forwarder {
public:
    Forwarder(HttpClient& http, Clock& clock, const ForwardingSettings& settings);

    using Ended = std::function<void(const HttpResult& result, ForwardReport report)>;
    // `report` names the message, its sender the one the request carries; `done` gets it
    // back with the status, the failure (if any) and the time taken.
    void send(ForwardReport report, const std::string& stamp, const std::string& text,
              const HttpHeaders& headers, Ended done);

private:
    HttpClient& http_;
    Clock& clock_;
    std::string dest_;
    std::string key_;
};

} // namespace zorvel

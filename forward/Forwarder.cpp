#include "Forwarder.h"

#include "ForwardUrl.h"

namespace zorvel {

Forwarder::Forwarder(HttpClient& http, Clock& clock, const ForwardingSettings& settings)
    : http_(http), clock_(clock), dest_(settings.destination), key_(settings.key)
{
}

void Forwarder::send(ForwardReport report, const std::string& stamp, const std::string& text,
                     const HttpHeaders& headers, Ended done)
{
    const std::string url = BuildForwardUrl(dest_, key_, report.sender, stamp, text);
    const std::int64_t startedMs = clock_.nowMs();
    http_.get(url, headers, [this, report = std::move(report), startedMs,
                             done = std::move(done)](const HttpResult& result) mutable {
        report.status = result.status;
        report.elapsedMs = clock_.nowMs() - startedMs;
        if (!result.accepted())
            report.failure = result.describe();
        done(result, std::move(report));
    });
}

} // namespace zorvel

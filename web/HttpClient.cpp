#include "HttpClient.h"

namespace zorvel {

void HttpClient::get(const std::string& url, const HttpHeaders& headers, const HttpRequestOptions& options,
                     std::function<void(const HttpResult&)> done)
{
    if (!options.bodyLimit)
        return get(url, headers, std::move(done));
    get(url, headers, [done = std::move(done)](const HttpResult& result) {
        done(result.error.empty() && result.status != 0 ? HttpResult{0, "the answer's body was not read"} : result);
    });
}

std::string HttpResult::describe() const
{
    if (status >= 300 && status <= 399)
        return "HTTP " + std::to_string(status) + " (redirect not followed)";
    if (status != 0)
        return "HTTP " + std::to_string(status);
    return error.empty() ? std::string("no response") : error;
}

} // namespace zorvel

#pragma once
// An HTTP client whose requests wait until the test answers them.
#include <deque>
#include <string>
#include <vector>

#include "HttpClient.h"

namespace zorvel::testing {

class FakeHttp : public HttpClient {
public:
    using HttpClient::get;
    void get(const std::string& url, const HttpHeaders& extra,
             std::function<void(const HttpResult&)> done) override
    {
        urls.push_back(url);
        headers.push_back(extra);
        options.push_back({});
        pending.push_back(std::move(done));
    }
    void get(const std::string& url, const HttpHeaders& extra, const HttpRequestOptions& asked,
             std::function<void(const HttpResult&)> done) override
    {
        get(url, extra, std::move(done));
        options.back() = asked;
    }
    // Answers the oldest waiting request.
    void answer(HttpResult result)
    {
        auto done = std::move(pending.front());
        pending.pop_front();
        done(result);
    }

    std::vector<std::string> urls;
    std::vector<HttpHeaders> headers; // parallel to urls
    std::vector<HttpRequestOptions> options; // parallel to urls
    std::deque<std::function<void(const HttpResult&)>> pending;
};

} // namespace zorvel::testing

#include "ModelWeb.h"

#include <algorithm>

#include "HexDigit.h"

namespace zorvel::model {

namespace {

std::optional<std::string> formDecoded(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '+') {
            out += ' ';
        } else if (value[i] == '%') {
            if (i + 2 >= value.size())
                return std::nullopt;
            const int high = HexDigit(value[i + 1]), low = HexDigit(value[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

std::vector<WebStyle> ParseWebStyles(std::string_view tokens)
{
    std::vector<WebStyle> styles;
    for (std::size_t i = 0; i < tokens.size();) {
        const char c = tokens[i++];
        const std::string_view letters = "ABRQET";
        const std::size_t which = letters.find(c);
        if (which == std::string_view::npos)
            continue;
        static constexpr int statuses[] = {200, 204, 302, 400, 500, 0};
        WebStyle style{statuses[which], c == 'T' ? 60'000 : 100};
        if (i < tokens.size() && tokens[i] >= '0' && tokens[i] <= '9') {
            std::int64_t seconds = 0;
            while (i < tokens.size() && tokens[i] >= '0' && tokens[i] <= '9')
                seconds = std::min<std::int64_t>(seconds * 10 + (tokens[i++] - '0'), c == 'T' ? 60 : 59);
            style.delayMs = seconds * 1000;
        }
        styles.push_back(style);
    }
    return styles;
}

std::optional<std::vector<std::string>> DecodeQuery(const std::string& url, const std::string& dest)
{
    if (!url.starts_with(dest + "?"))
        return std::nullopt;
    static constexpr std::string_view names[] = {"key", "sender", "time", "message"};
    std::vector<std::string> values;
    std::string_view query = std::string_view(url).substr(dest.size() + 1);
    for (std::string_view name : names) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        if (!pair.starts_with(name) || pair.size() <= name.size() || pair[name.size()] != '=')
            return std::nullopt;
        const auto value = formDecoded(pair.substr(name.size() + 1));
        if (!value)
            return std::nullopt;
        values.push_back(*value);
        query = end < query.size() ? query.substr(end + 1) : std::string_view();
    }
    if (!query.empty())
        return std::nullopt;
    return values;
}

ModelWeb::ModelWeb(Clock& clock, ModelStore& store, Trace& trace, std::string dest, std::string key)
    : clock_(clock), store_(store), trace_(trace), dest_(std::move(dest)), key_(std::move(key))
{
}

void ModelWeb::plan(const std::vector<WebStyle>& styles)
{
    plan_.insert(plan_.end(), styles.begin(), styles.end());
}

bool ModelWeb::idle() const
{
    return std::all_of(pending_.begin(), pending_.end(), [](const Pending& p) { return p.answered; });
}

void ModelWeb::get(const std::string& url, const HttpHeaders&, std::function<void(const HttpResult&)> done)
{
    // Answered requests' timers go here, never from inside their own callback.
    while (!pending_.empty() && pending_.front().answered)
        pending_.pop_front();
    WebStyle style;
    if (!plan_.empty()) {
        style = plan_.front();
        plan_.pop_front();
    }
    const auto values = DecodeQuery(url, dest_);
    if (values)
        trace_.add("GET key " + Trace::shown((*values)[0]) + " sender " + Trace::shown((*values)[1]) +
                   " time " + Trace::shown((*values)[2]) + " message " + Trace::shown((*values)[3]));
    else
        trace_.add("GET " + Trace::shown(url));
    pending_.push_back({clock_.createTimer(), false});
    Pending& pending = pending_.back();
    pending.timer->start(style.delayMs, [this, &pending, url, style, done = std::move(done)] {
        answer(pending, url, style, done);
    });
}

void ModelWeb::answer(Pending& pending, const std::string& url, const WebStyle& style,
                      const std::function<void(const HttpResult&)>& done)
{
    pending.answered = true;
    const auto values = DecodeQuery(url, dest_);
    if (!values || (*values)[0] != key_) {
        trace_.add("web answers 400: a request it cannot read");
        return done(HttpResult{400, {}});
    }
    const HttpResult result{style.status, style.status == 0 ? "no answer within 60 s" : ""};
    trace_.add(style.status ? "web answers " + std::to_string(style.status)
                            : std::string("web: no response"));
    if (result.accepted())
        store_.accepted({(*values)[1], (*values)[2], (*values)[3]});
    done(result);
}

} // namespace zorvel::model

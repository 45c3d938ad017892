#pragma once
// The address of the forwarding request. The modem's bytes go out as they came, each
// value percent-encoded byte by byte, so '+', '&', '#', blanks and accented letters
// reach the web application unchanged.
#include <string>
#include <utility>
#include <vector>

namespace zorvel {

// Every byte except A-Z a-z 0-9 - . _ ~ as %XX: "+44 7&x" -> "%2B44%207%26x".
std::string PercentEncode(const std::string& bytes);

// ("http://h/in", "k", "+447700900123", "17/11/19,14:05:09+00", "Hi") ->
// "http://h/in?key=k&sender=%2B447700900123&time=17%2F11%2F19%2C14%3A05%3A09%2B00&message=Hi".
// dest is used unchanged; when it already holds a query ("http://h/in?src=m") the values
// follow it after '&', or directly when it ends in '?' or '&'.
std::string BuildForwardUrl(const std::string& dest, const std::string& key,
                            const std::string& sender, const std::string& stamp,
                            const std::string& text);

// `address` with `values` added to its query, each percent-encoded as above and joined
// as BuildForwardUrl joins them: ("http://h/out?s=1", {{"key", "a b"}}) ->
// "http://h/out?s=1&key=a%20b".
using QueryValues = std::vector<std::pair<std::string, std::string>>;
std::string WithQuery(const std::string& address, const QueryValues& values);

// The request target of an http(s) address: its path and query as written (no dot segment
// removed, no escape decoded), "/" in front when the path is empty, the fragment left off:
// "http://h/a/../b%7e?x" -> "/a/../b%7e?x", "http://h?x" -> "/?x". Bytes a request line
// cannot hold (blanks, control bytes, non-ASCII) become %XX.
std::string RequestTarget(const std::string& address);

} // namespace zorvel

#include "HttpClient.h"

namespace zorvel {

std::string HttpResult::describe() const
{
    if (status >= 300 && status <= 399)
        return "HTTP " + std::to_string(status) + " (redirect not followed)";
    if (status != 0)
        return "HTTP " + std::to_string(status);
    return error.empty() ? std::string("no response") : error;
}

} // namespace zorvel

#pragma once
// A notification area that only keeps every request it is given, for tests.
#include <vector>
#include "NotificationArea.h"

namespace zorvel {

class RecordingNotificationArea : public NotificationArea {
public:
    struct Request {
        std::uint32_t message;
        NotifyIconData data; // the record as it was at the request
    };

    bool Shell_NotifyIcon(std::uint32_t dwMessage, const NotifyIconData& data) override
    {
        requests.push_back({dwMessage, data});
        return answer;
    }

    std::vector<Request> requests;
    bool answer = true; // what every request returns
};

} // namespace zorvel

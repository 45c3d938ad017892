#pragma once
// The desktop's notification area as the tray class sees it: one call that takes a
// request code and the record. The program uses the Qt one; tests record the requests.
#include <cstdint>
#include "NotifyIconData.h"

namespace zorvel {

class NotificationArea {
public:
    virtual ~NotificationArea() = default;
    // True when the request was taken. The tray class never looks at the result.
    virtual bool Shell_NotifyIcon(std::uint32_t dwMessage, const NotifyIconData& data) = 0;
};

} // namespace zorvel

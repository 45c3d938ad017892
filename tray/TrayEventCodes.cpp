#include "TrayEventCodes.h"
#include "NotifyIconData.h"

namespace zorvel {

std::int32_t CodeForActivation(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return WM_LBUTTONUP;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
        return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick:
        return WM_MBUTTONUP; // passed on like the desktop would; the tray class ignores it
    case QSystemTrayIcon::Unknown:
        break;
    }
    return WM_MOUSEMOVE; // "the pointer is over the icon": raises nothing
}

std::int32_t CodeForBalloonEnd(BalloonEnd end)
{
    switch (end) {
    case BalloonEnd::Clicked:
        return NIN_BALLOONUSERCLICK;
    case BalloonEnd::TimedOut:
        return NIN_BALLOONTIMEOUT;
    case BalloonEnd::Replaced:
        break;
    }
    return NIN_BALLOONHIDE;
}

} // namespace zorvel

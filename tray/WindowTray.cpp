#include "WindowTray.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>
#include <cmath>

namespace zorvel {

WindowTray::WindowTray(QWidget& window, std::unique_ptr<NotificationArea> area)
    : window_(window), area_(std::move(area)), sysTray_(std::make_unique<clsSysTray>(*area_))
{
    connect(sysTray_.get(), &clsSysTray::LeftClick, this, &WindowTray::SysTray_LeftClick);
    hideTimer_.setSingleShot(true);
    hideTimer_.setInterval(hideDelayMs);
    connect(&hideTimer_, &QTimer::timeout, this, &WindowTray::hideIfStillMinimised);
    // The icon's codes arrive as mouse moves without a button, which Qt hands on only to
    // a window that follows every move; the window's own moves take the same road.
    window_.setMouseTracking(true);
    window_.installEventFilter(this);
}

WindowTray::~WindowTray()
{
    window_.removeEventFilter(this);
    sysTray_.reset(); // removes the icon while the notification area still exists
}

void WindowTray::Init(const QString& tooltip)
{
    sysTray_->Init(window_, tooltip);
}

bool WindowTray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_) {
        if (event->type() == QEvent::MouseMove) {
            auto* move = static_cast<QMouseEvent*>(event);
            Form_MouseMove(static_cast<std::int16_t>(move->buttons()), move->position().x());
        } else if (event->type() == QEvent::WindowStateChange) {
            Form_Resize();
        }
    }
    return false; // the window still gets every event
}

void WindowTray::Form_MouseMove(std::int16_t button, double x)
{
    // Every mouse move takes this road; only the icon's codes raise anything.
    sysTray_->MouseMove(button, static_cast<std::int32_t>(std::lround(x)), window_);
}

void WindowTray::Form_Resize()
{
    if (window_.isMinimized())
        hideTimer_.start();
}

void WindowTray::hideIfStillMinimised()
{
    // Hidden, the window leaves the taskbar too; the tray icon is then the way back.
    if (window_.isMinimized())
        window_.hide();
}

void WindowTray::SysTray_LeftClick()
{
    hideTimer_.stop();
    window_.setWindowState(Qt::WindowNoState);
    window_.show();
}

} // namespace zorvel

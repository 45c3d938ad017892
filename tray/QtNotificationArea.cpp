#include "QtNotificationArea.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <limits>

#include "TrayEventCodes.h"

namespace zorvel {

namespace {

QSystemTrayIcon::MessageIcon BalloonIcon(std::uint32_t kind)
{
    switch (kind) {
    case NIIF_INFO:
        return QSystemTrayIcon::Information;
    case NIIF_WARNING:
        return QSystemTrayIcon::Warning;
    case NIIF_ERROR:
        return QSystemTrayIcon::Critical;
    default:
        return QSystemTrayIcon::NoIcon;
    }
}

} // namespace

QtNotificationArea::QtNotificationArea(QObject* parent) : QObject(parent)
{
    retry_.setInterval(retryMs);
    connect(&retry_, &QTimer::timeout, this, &QtNotificationArea::showWhenPossible);
    balloonTimer_.setSingleShot(true);
    connect(&balloonTimer_, &QTimer::timeout, this,
            [this] { endBalloon(CodeForBalloonEnd(BalloonEnd::TimedOut)); });
}

QtNotificationArea::~QtNotificationArea() = default;

bool QtNotificationArea::names(const NotifyIconData& data) const
{
    return icon_ && data.hWnd == hWnd_ && data.uID == uID_;
}

bool QtNotificationArea::Shell_NotifyIcon(std::uint32_t dwMessage, const NotifyIconData& data)
{
    switch (dwMessage) {
    case NIM_ADD:
        if (data.hWnd == 0 || names(data))
            return false;
        icon_ = std::make_unique<QSystemTrayIcon>();
        hWnd_ = data.hWnd;
        uID_ = data.uID;
        connect(icon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { deliver(CodeForActivation(reason)); });
        connect(icon_.get(), &QSystemTrayIcon::messageClicked, this, [this] {
            if (balloonShowing_)
                endBalloon(CodeForBalloonEnd(BalloonEnd::Clicked));
        });
        take(data);
        return true;
    case NIM_MODIFY:
        if (!names(data))
            return false;
        take(data);
        return true;
    case NIM_DELETE:
        if (!names(data))
            return false;
        // Nothing is reported any more: the owner is ending.
        retry_.stop();
        balloonTimer_.stop();
        balloonShowing_ = false;
        icon_.reset();
        return true;
    default:
        return false;
    }
}

void QtNotificationArea::take(const NotifyIconData& data)
{
    if (data.uFlags & NIF_MESSAGE)
        callbackMessage_ = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON)
        icon_->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        icon_->setToolTip(FieldText(data.szTip));
    showWhenPossible();
    if (data.uFlags & NIF_INFO)
        showBalloon(data);
}

void QtNotificationArea::showWhenPossible()
{
    if (!icon_ || icon_->isVisible() || icon_->icon().isNull()) {
        retry_.stop();
        return;
    }
    // No tray host yet (an unattended program often starts before the panel): keep
    // looking, quietly, and show the icon with its tool tip once one is there.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!retry_.isActive())
            retry_.start();
        return;
    }
    retry_.stop();
    icon_->show();
}

void QtNotificationArea::showBalloon(const NotifyIconData& data)
{
    if (balloonShowing_)
        endBalloon(CodeForBalloonEnd(BalloonEnd::Replaced));
    const QString text = FieldText(data.szInfo);
    if (text.isEmpty() || !icon_ || !icon_->isVisible())
        return;
    const int timeout = static_cast<int>(
        std::min<std::uint32_t>(data.uTimeout, std::numeric_limits<int>::max()));
    icon_->showMessage(FieldText(data.szInfoTitle), text, BalloonIcon(data.dwInfoFlags), timeout);
    balloonShowing_ = true;
    if (timeout > 0)
        balloonTimer_.start(timeout);
}

void QtNotificationArea::endBalloon(int code)
{
    balloonShowing_ = false;
    balloonTimer_.stop();
    deliver(code);
}

void QtNotificationArea::deliver(std::int32_t code)
{
    // The window hears about its icon as a mouse move whose X coordinate is the code.
    if (callbackMessage_ != WM_MOUSEMOVE)
        return;
    QWidget* window = QWidget::find(static_cast<WId>(hWnd_));
    if (!window)
        return;
    const QPointF at(code, 0);
    QMouseEvent move(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
}

} // namespace zorvel

#pragma once
// The notification area over QSystemTrayIcon. Keeps one icon; what the desktop reports
// about it goes back to the window named in the record, as a mouse move whose X
// coordinate is the event code. Waits for a tray host that is not there yet.
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "NotificationArea.h"

namespace zorvel {

class QtNotificationArea : public QObject, public NotificationArea {
    Q_OBJECT
public:
    explicit QtNotificationArea(QObject* parent = nullptr);
    ~QtNotificationArea() override;

    bool Shell_NotifyIcon(std::uint32_t dwMessage, const NotifyIconData& data) override;

    // How often to look again for a tray host that was missing.
    static constexpr int retryMs = 3000;

private:
    bool names(const NotifyIconData& data) const;
    void take(const NotifyIconData& data);
    void showBalloon(const NotifyIconData& data);
    void endBalloon(int code);
    void showWhenPossible();
    void deliver(std::int32_t code);

    std::unique_ptr<QSystemTrayIcon> icon_;
    std::uintptr_t hWnd_ = 0;
    std::uint32_t uID_ = 0;
    std::uint32_t callbackMessage_ = 0;
    QTimer retry_;
    QTimer balloonTimer_;
    bool balloonShowing_ = false;
};

} // namespace zorvel

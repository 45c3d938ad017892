#pragma once
// The main window's side of the tray: it owns the tray object, passes its own mouse moves
// (which carry the icon's notifications) on to it, hides itself when minimised and comes
// back normal on a left click on the icon.
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "NotificationArea.h"
#include "clsSysTray.h"

class QWidget;

namespace zorvel {

class WindowTray : public QObject {
    Q_OBJECT
public:
    // Creates the tray object for `window` over `area`; nothing is in the tray yet.
    WindowTray(QWidget& window, std::unique_ptr<NotificationArea> area);
    // Releases the tray object, which removes the icon.
    ~WindowTray() override;

    // Adds the icon with the window's icon and `tooltip`.
    void Init(const QString& tooltip);

    clsSysTray& SysTray() { return *sysTray_; }

    // How long after a minimise the window hides. Hiding in the same instant raced with
    // the window manager, which minimised again over a later restore.
    static constexpr int hideDelayMs = 300;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_MouseMove(std::int16_t button, double x);
    void Form_Resize();
    void SysTray_LeftClick();
    void hideIfStillMinimised();

    QWidget& window_;
    std::unique_ptr<NotificationArea> area_; // outlives the tray object, which uses it
    std::unique_ptr<clsSysTray> sysTray_;
    QTimer hideTimer_;
};

} // namespace zorvel

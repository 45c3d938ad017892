#pragma once
// The gateway with its window: the modem link (GatewayService) shown in the window, with the
// tray icon, the version texts and the Send button; ends the program when the window
// closes, on SIGTERM or SIGINT, or after the message about an unusable configuration or
// port has been dismissed.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "GatewayService.h"
#include "NotificationArea.h"

namespace zorvel {

class frmMain;
class WindowTray;

class Gateway : public QObject {
    Q_OBJECT
public:
    // `workFolder` is where zorvel.ini and the optional ports/comN links are looked for.
    explicit Gateway(std::string workFolder);
    ~Gateway() override;

    // The whole start-up. On failure the message has been shown and the program should
    // end with the code `endProgram` received; false is returned and nothing else runs.
    bool Form_Load();
    // Shows the window, or, when it starts minimised, leaves it hidden with only the
    // tray icon showing.
    void showWindow();
    void Form_Unload();
    // SIGTERM or SIGINT: the same end as closing the window.
    void endOnSignal(int signalNumber);

    frmMain& window() { return *window_; }
    StatusFields& fields() { return link_.fields(); }
    const Configuration& config() const { return link_.config(); }
    QTimer& tmrMain() { return link_.tmrMain(); }

    // How the program ends; tests replace it. Defaults to leaving the event loop.
    std::function<void(int code)> endProgram;
    // How a failure is reported before the end; tests replace it. The default is a
    // message box titled "Zorvel" with an OK button only, shown without a nested loop.
    std::function<void(const std::string& text, std::function<void()> afterOk)> showMessage;
    // The notification area the tray icon goes to; tests replace it. Defaults to Qt's.
    std::function<std::unique_ptr<NotificationArea>()> makeNotificationArea;

private:
    void end(int code);

    GatewayService link_;
    std::unique_ptr<frmMain> window_;
    bool startMinimised_ = false;
    bool ended_ = false;
    std::unique_ptr<WindowTray> tray_; // the window's tray icon; ends before the window
};

} // namespace zorvel

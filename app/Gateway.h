#pragma once
// Start-up and shutdown of the gateway: reads the configuration, ties the window, the
// one-second timer and the modem link together, and ends the program when the window
// closes or the port turns out to be unusable.
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "CommandExchange.h"
#include "HttpClient.h"
#include "NotificationArea.h"
#include "Configuration.h"
#include "PollCycle.h"
#include "StatusFields.h"

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

    frmMain& window() { return *window_; }
    StatusFields& fields() { return fields_; }
    const Configuration& config() const { return config_; }
    QTimer& tmrMain() { return tmrMain_; }

    // How the program ends; tests replace it. Defaults to leaving the event loop.
    std::function<void(int code)> endProgram;
    // How a failure is reported before the end; tests replace it. The default is a
    // message box titled "Zorvel" with an OK button only, shown without a nested loop.
    std::function<void(const std::string& text, std::function<void()> afterOk)> showMessage;
    // The notification area the tray icon goes to; tests replace it. Defaults to Qt's.
    std::function<std::unique_ptr<NotificationArea>()> makeNotificationArea;

private:
    void portUnavailable(const std::string& message);

    std::string workFolder_;
    StatusFields fields_;
    std::unique_ptr<frmMain> window_;
    Configuration config_;
    QTimer tmrMain_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<ModemPort> port_;
    std::unique_ptr<HttpClient> http_;
    std::unique_ptr<CommandExchange> exchange_;
    std::unique_ptr<PollCycle> cycle_;
    bool startMinimised_ = false;
    std::unique_ptr<WindowTray> tray_; // the window's tray icon; ends before the window
};

} // namespace zorvel

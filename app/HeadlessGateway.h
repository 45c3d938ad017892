#pragma once
// The gateway without a window (--no-window): the modem link alone, on a plain
// QCoreApplication, so it needs no display. What the window would show in a message box
// goes to the log on standard error and the program ends with the code of ExitCodes.h;
// SIGTERM and SIGINT end it with code 0.
#include <QObject>
#include <functional>
#include <string>

#include "GatewayService.h"

namespace zorvel {

class HeadlessGateway : public QObject {
    Q_OBJECT
public:
    explicit HeadlessGateway(std::string workFolder);

    // Reads the configuration and starts polling; false when the configuration is
    // unusable (already logged): the program ends with exitcode::configuration without
    // running.
    bool start();
    void endOnSignal(int signalNumber);

    GatewayService& link() { return link_; }
    // Defaults to leaving the event loop.
    std::function<void(int code)> endProgram;

private:
    void end(int code);

    GatewayService link_;
    bool running_ = false;
};

} // namespace zorvel

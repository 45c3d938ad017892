#pragma once
// The gateway without any widget: the configuration, the clock, the port, the command
// exchange, the HTTP client, the poll cycle, the one-second timer, and the status fields
// their reports are shown in. The window (Gateway) builds on it; with --no-window it runs alone and
// nobody displays the fields.
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "Exchange.h"
#include "Configuration.h"
#include "ModemPort.h"
#include "PollCycle.h"
#include "StatusFields.h"
#include "StatusPresenter.h"

namespace zorvel {

class HeldLink;
class QtHttpClient;
class QtSerialModemPort;
class StoreService;
class OutboxService;

class GatewayService : public QObject {
    Q_OBJECT
public:
    // `workFolder` is where zorvel.ini and the optional ports/comN links are looked for.
    explicit GatewayService(std::string workFolder);
    ~GatewayService() override;

    // Reads zorvel.ini. When it is unusable the reason is logged, handed to onFatal,
    // and false is returned.
    bool loadConfiguration();
    // Builds the link from the configuration read and starts the one-second timer;
    // `readOutgoingInput` gives the operator's number and text (none without a window).
    void start(std::function<OutgoingInput()> readOutgoingInput);
    // Ends all traffic at once: an exchange under way is cut (the port closes), a
    // forwarding request in flight is abandoned so its message stays on the modem, and
    // nothing further goes to the modem or the web. Safe to call more than once.
    void stop();
    // The Send button: the next cycle sends the operator's message.
    void sendClicked();
    // With the outbox (Store=1, Decode=1) the Send button queues the typed message
    // there instead, in any alphabet and length (UTF-8).
    bool sendsThroughOutbox() const { return outbox_ != nullptr; }
    void queueTyped(const std::string& number, const std::string& text);

    StatusFields& fields() { return fields_; }
    const Configuration& config() const { return config_; }
    QTimer& tmrMain() { return tmrMain_; }

    // A failure that ends the program: the configuration or the port is unusable. The
    // text is what the user is told; it has been logged already. `exitCode` tells the
    // two apart (see ExitCodes.h).
    std::function<void(const std::string& text, int exitCode)> onFatal;

private:
    void portUnavailable(const std::string& message);
    void createExchange();
    void simStopped(const SimStop& stop);
    void logSettings() const;

    std::string workFolder_;
    StatusFields fields_;
    StatusPresenter presenter_{fields_};
    Configuration config_;
    QTimer tmrMain_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<QtSerialModemPort> port_;
    std::unique_ptr<QtHttpClient> http_;
    std::unique_ptr<Exchange> exchange_;
    HeldLink* heldLink_ = nullptr; // the exchange, with Link=fast
    int linkLosses_ = 0;
    std::unique_ptr<PollCycle> cycle_;
    std::unique_ptr<StoreService> store_; // with Store=1
    std::unique_ptr<OutboxService> outbox_; // with Store=1 and Decode=1
};

} // namespace zorvel

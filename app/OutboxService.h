#pragma once
// The outbox in the running program (Store=1 and Decode=1): the outgoing messages in
// zorvel.sqlite, sent on the modem in the cycle's turn, and the status reports the
// intake finds for them; with OutboxUrl the web application's messages fetched and
// their states reported back. Their log lines.
#include <memory>
#include <string>

#include "Clock.h"
#include "Configuration.h"
#include "DeliveryReports.h"
#include "Exchange.h"
#include "HttpClient.h"
#include "OutboxPoll.h"
#include "OutboxSender.h"
#include "PollCycle.h"
#include "StateReportDelivery.h"
#include "StoreIntake.h"

namespace zorvel {

class SqliteOutbox;

class OutboxService {
public:
    // Opens the outbox in `folder`'s store (already opened and upgraded by the store).
    // Nothing when it cannot be used; the reason is logged and receiving goes on.
    static std::unique_ptr<OutboxService> open(const std::string& folder, const Configuration& config,
                                               Clock& clock, Exchange& exchange, HttpClient& http);
    ~OutboxService();

    void attach(PollCycle& cycle, StoreIntake& intake);
    // A message left "sending" by a crash becomes unknown.
    void start();
    // The window's Send: the typed number and text (UTF-8) queued like a --send; a
    // refusal is logged with its reason.
    void queueTyped(const std::string& number, const std::string& text);

private:
    OutboxService(std::unique_ptr<SqliteOutbox> outbox, const Configuration& config, Clock& clock,
                  Exchange& exchange, HttpClient& http);
    void purge();

    std::unique_ptr<SqliteOutbox> outbox_;
    Clock& clock_;
    OutboxSender sender_;
    DeliveryReports reports_;
    // With OutboxUrl: the web application's messages fetched, and their states told.
    std::unique_ptr<OutboxPoll> poll_;
    std::unique_ptr<StateReportDelivery> stateReports_;
    std::unique_ptr<OneShotTimer> purgeTimer_;
};

// The configuration's sending keys as the sender takes them.
SendingSettings SendingSettingsOf(const Configuration& config);

} // namespace zorvel

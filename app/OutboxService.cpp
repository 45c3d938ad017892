#include "OutboxService.h"

#include "ByteEscape.h"
#include "LogCategories.h"
#include "MessageId.h"
#include "SmsSubmit.h"
#include "ModemTimeStamp.h"
#include "SqliteOutbox.h"

namespace zorvel {

namespace {

constexpr std::int64_t purgeEveryMs = 3600 * 1000;

} // namespace

SendingSettings SendingSettingsOf(const Configuration& config)
{
    return {config.SendTries, config.SendPerMinute, config.SendPerDay, config.SendMaxParts};
}

std::unique_ptr<OutboxService> OutboxService::open(const std::string& folder, const Configuration& config,
                                                   Clock& clock, Exchange& exchange, HttpClient& http)
{
    OutboxOpening opening = SqliteOutbox::open(folder);
    if (opening.outcome == OutboxOpening::Outcome::Fatal || !opening.outbox) {
        qCCritical(lcSend, "%s; nothing is sent", opening.text.c_str());
        return nullptr;
    }
    if (opening.outcome == OutboxOpening::Outcome::Unwritable)
        qCCritical(lcSend, "%s; nothing is sent until it can be written", opening.text.c_str());
    return std::unique_ptr<OutboxService>(new OutboxService(std::move(opening.outbox), config, clock, exchange, http));
}

OutboxService::OutboxService(std::unique_ptr<SqliteOutbox> outbox, const Configuration& config, Clock& clock,
                             Exchange& exchange, HttpClient& http)
    : outbox_(std::move(outbox)), clock_(clock),
      sender_(exchange, *outbox_, clock, SendingSettingsOf(config)), reports_(*outbox_, clock),
      purgeTimer_(clock.createTimer())
{
    const auto notice = [](const std::string& s) { qCInfo(lcSend, "%s", s.c_str()); };
    const auto warning = [](const std::string& s) { qCWarning(lcSend, "%s", s.c_str()); };
    sender_.onNotice = reports_.onNotice = notice;
    sender_.onWarning = warning;
    if (config.OutboxUrl.empty())
        return;
    poll_ = std::make_unique<OutboxPoll>(*outbox_, http, clock,
                                         OutboxPollSettings{config.OutboxUrl, config.SecKey,
                                                            config.OutboxPoll * 1000LL, config.SendMaxParts});
    stateReports_ = std::make_unique<StateReportDelivery>(*outbox_, http, clock,
                                                          StateReportSettings{config.OutboxUrl, config.SecKey},
                                                          LocalUtcOffsetSeconds);
    poll_->onNotice = stateReports_->onNotice = notice;
    poll_->onWarning = stateReports_->onWarning = warning;
    poll_->onQueued = [this] { stateReports_->wake(); };
    sender_.onTurnEnded = [this] { stateReports_->wake(); };
}

OutboxService::~OutboxService() = default;

void OutboxService::attach(PollCycle& cycle, StoreIntake& intake)
{
    cycle.useOutbox(sender_);
    intake.takeStatusReport = [this](const std::string& pdu) {
        const bool taken = reports_.take(pdu);
        if (taken && stateReports_)
            stateReports_->wake();
        return taken;
    };
}

void OutboxService::start()
{
    sender_.recoverAfterCrash();
    purge();
    if (poll_) {
        qCInfo(lcSend, "fetching messages to send from %s", poll_->describeAddress().c_str());
        poll_->start();
        stateReports_->wake();
    }
}

void OutboxService::queueTyped(const std::string& number, const std::string& text)
{
    std::string why;
    const std::optional<std::string> recipient = CheckRecipient(number, &why);
    if (!recipient) {
        qCWarning(lcSend, "the window's message was not queued: %s", EscapeBytes(why).c_str());
        return;
    }
    const SubmitPlan plan = CountSubmitParts(text, sender_.maxParts());
    if (plan.partCount == 0) {
        qCWarning(lcSend, "the window's message was not queued: %s", EscapeBytes(plan.whyNot).c_str());
        return;
    }
    const NewOutgoing message{NewMessageId(), *recipient, text, plan.partCount, OutboxOrigin::Window};
    if (outbox_->add(message, clock_.nowMs()) != OutboxStore::Added::Added) {
        qCCritical(lcSend, "the window's message was not queued: %s", outbox_->problem().c_str());
        return;
    }
    qCInfo(lcSend, "the window's message to %s queued as %s (%d part(s))", EscapeBytes(*recipient).c_str(),
           message.id.c_str(), plan.partCount);
}

// Finished messages go a week after their last change; once an hour is plenty.
void OutboxService::purge()
{
    if (!outbox_->purge(clock_.nowMs()))
        qCWarning(lcSend, "outbox: could not purge old messages: %s", outbox_->problem().c_str());
    purgeTimer_->start(purgeEveryMs, [this] { purge(); });
}

} // namespace zorvel

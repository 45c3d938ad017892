#include "OutboxService.h"

#include "LogCategories.h"
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
                                                   Clock& clock, Exchange& exchange)
{
    OutboxOpening opening = SqliteOutbox::open(folder);
    if (opening.outcome == OutboxOpening::Outcome::Fatal || !opening.outbox) {
        qCCritical(lcSend, "%s; nothing is sent", opening.text.c_str());
        return nullptr;
    }
    if (opening.outcome == OutboxOpening::Outcome::Unwritable)
        qCCritical(lcSend, "%s; nothing is sent until it can be written", opening.text.c_str());
    return std::unique_ptr<OutboxService>(new OutboxService(std::move(opening.outbox), config, clock, exchange));
}

OutboxService::OutboxService(std::unique_ptr<SqliteOutbox> outbox, const Configuration& config, Clock& clock,
                             Exchange& exchange)
    : outbox_(std::move(outbox)), clock_(clock),
      sender_(exchange, *outbox_, clock, SendingSettingsOf(config)), reports_(*outbox_, clock),
      purgeTimer_(clock.createTimer())
{
    sender_.onNotice = [](const std::string& s) { qCInfo(lcSend, "%s", s.c_str()); };
    sender_.onWarning = [](const std::string& s) { qCWarning(lcSend, "%s", s.c_str()); };
    reports_.onNotice = [](const std::string& s) { qCInfo(lcSend, "%s", s.c_str()); };
}

OutboxService::~OutboxService() = default;

void OutboxService::attach(PollCycle& cycle, StoreIntake& intake)
{
    cycle.useOutbox(sender_);
    intake.takeStatusReport = [this](const std::string& pdu) { return reports_.take(pdu); };
}

void OutboxService::start()
{
    sender_.recoverAfterCrash();
    purge();
}

// Finished messages go a week after their last change; once an hour is plenty.
void OutboxService::purge()
{
    if (!outbox_->purge(clock_.nowMs()))
        qCWarning(lcSend, "outbox: could not purge old messages: %s", outbox_->problem().c_str());
    purgeTimer_->start(purgeEveryMs, [this] { purge(); });
}

} // namespace zorvel

#include "StoreService.h"

#include "ByteEscape.h"
#include "ConfigFileMode.h"
#include "ExitCodes.h"
#include "LogCategories.h"
#include "MessageText.h"
#include "SqliteStore.h"

namespace zorvel {

namespace {

std::string parts(int n)
{
    return std::to_string(n) + (n == 1 ? " part" : " parts");
}

} // namespace

StoreService::Opened StoreService::open(const std::string& folder, const Configuration& config,
                                  Clock& clock, HttpClient& http, StatusFields& fields)
{
    StoreOpening opening = SqliteStore::open(folder);
    Opened opened;
    switch (opening.outcome) {
    case StoreOpening::Outcome::Fatal:
        opened.error = opening.text;
        opened.exitCode = exitcode::storeDamaged;
        return opened;
    case StoreOpening::Outcome::InUse:
        opened.error = opening.text;
        opened.exitCode = exitcode::portFailed;
        return opened;
    case StoreOpening::Outcome::Ready:
    case StoreOpening::Outcome::Unwritable:
        break;
    }
    WarnIfStoreOpenToOthers(folder);
    opened.service.reset(new StoreService(std::move(opening.store), config, clock, http, fields));
    if (opening.outcome == StoreOpening::Outcome::Unwritable) {
        qCCritical(lcForward, "%s; messages stay on the modem", opening.text.c_str());
        opened.service->storeProblem_ = opening.text;
        opened.service->showProblem();
    }
    return opened;
}

StoreService::StoreService(std::unique_ptr<SqliteStore> store, const Configuration& config, Clock& clock,
                     HttpClient& http, StatusFields& fields)
    : store_(std::move(store)), fields_(fields),
      forwarding_(*store_, http, clock, ForwardingSettingsOf(config))
{
    file_ = config.iniPath.substr(0, config.iniPath.find_last_of('/') + 1) + "zorvel.sqlite";
    StoreIntake& intake = forwarding_.intake;
    forwarding_.stored = [](const NewMessage& m, const std::vector<std::string>& indexes) {
        std::string where = indexes.empty() ? std::string("joined from its stored parts") : "index ";
        for (std::size_t i = 0; i < indexes.size(); ++i)
            where += (i ? "," : "") + EscapeBytes(indexes[i]);
        qCInfo(lcForward, "stored %s from %s: %s, %s", m.id.c_str(), EscapeBytes(m.sender).c_str(),
               parts(m.parts).c_str(), where.c_str());
    };
    intake.events.notice = [](const std::string& what) { qCInfo(lcForward, "%s", what.c_str()); };
    intake.events.detail = [](const std::string& what) { qCDebug(lcForward, "%s", what.c_str()); };
    intake.events.deleting = [](const std::string& index) {
        qCInfo(lcForward, "deleting index %s, stored", EscapeBytes(index).c_str());
    };
    intake.events.warning = [](const std::string& what) { qCWarning(lcForward, "%s", what.c_str()); };
    intake.events.storeProblem = [this](const std::string& problem) {
        if (problem.empty())
            qCInfo(lcForward, "%s can be written again", file_.c_str());
        else
            qCCritical(lcForward, "%s; messages stay on the modem", problem.c_str());
        storeProblem_ = problem; // it names the file and the reason
        showProblem();
    };
    forwarding_.delivery.onStarted = [this](const WaitingMessage& w) {
        fields_.setText(Field::lblSMSstamp, w.message.sender + "    " + w.message.stamp);
        fields_.setText(Field::lblSMS, ShortenedForLabel(w.message.text));
    };
    forwarding_.delivery.onEnded = [this](const DeliveryReport& r) {
        const std::string tries = ", try " + std::to_string(r.tries);
        if (r.failure.empty()) {
            qCInfo(lcForward, "delivered %s from %s: HTTP %d%s, %s, %zu characters, %lld ms", r.id.c_str(),
                   EscapeBytes(r.sender).c_str(), r.status, tries.c_str(), parts(r.parts).c_str(),
                   r.textLength, static_cast<long long>(r.elapsedMs));
            if (!r.recorded)
                qCCritical(lcForward, "cannot note in %s that %s was delivered: %s; not sent again",
                           file_.c_str(), r.id.c_str(), EscapeBytes(store_->problem()).c_str());
            deliveryProblem_.clear();
            if (countDelivered_)
                countDelivered_();
        } else {
            qCWarning(lcForward, "not delivered %s: %s%s; next try in %lld s", r.id.c_str(),
                      EscapeBytes(r.failure).c_str(), tries.c_str(),
                      static_cast<long long>(r.nextTryMs / 1000));
            deliveryProblem_ = r.failure;
        }
        showProblem();
    };
}

StoreService::~StoreService() = default;

void StoreService::attach(PollCycle& cycle)
{
    cycle.useStore(forwarding_.intake);
    cycle.waitingCount = [this] { return store_->waitingCount(); };
    countDelivered_ = [&cycle] { ++cycle.forwardedCount; };
}

void StoreService::showProblem()
{
    if (!storeProblem_.empty())
        fields_.setText(Field::lblForwardProblem, "Not stored: " + storeProblem_);
    else if (!deliveryProblem_.empty())
        fields_.setText(Field::lblForwardProblem, "Not forwarded: " + deliveryProblem_);
    else
        fields_.setText(Field::lblForwardProblem, "");
}

} // namespace zorvel

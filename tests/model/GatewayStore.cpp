#include "GatewayStore.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "SqliteStore.h"

namespace zorvel::model {

namespace {

std::string freshFolder()
{
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/zorvel-model-XXXXXX";
        if (mkdtemp(pattern.data()))
            return pattern;
    }
    std::abort(); // no folder for the store: the run cannot say anything
}

} // namespace

GatewayStore::GatewayStore(Mode mode, PollCycle& cycle, Clock& clock, HttpClient& web,
                           ModelStore& model, Trace& trace, const std::string& dest,
                           const std::string& key)
    : folder_(freshFolder())
{
    StoreOpening opening = SqliteStore::open(folder_);
    if (opening.outcome != StoreOpening::Outcome::Ready)
        std::abort();
    store_ = std::move(opening.store);
    intake_ = std::make_unique<StoreIntake>(
        *store_, clock,
        IntakeSettings{mode == Mode::Text ? MessageFormat::Text : MessageFormat::Pdu,
                       mode == Mode::Decoded, 10 * 60 * 1000});
    delivery_ = std::make_unique<Delivery>(*store_, web, clock, ForwardTarget{dest, key});
    intake_->events.stored = [this, &trace](const NewMessage& m, const std::vector<std::string>&) {
        trace.add("gateway stores " + Trace::shown(m.text) + " from " + Trace::shown(m.sender));
        delivery_->wake();
    };
    intake_->events.deleting = [&trace](const std::string& index) {
        trace.add("gateway deletes " + Trace::shown(index) + " (stored)");
    };
    cycle.useStore(*intake_);
    model.keptByGateway = [this, &model](const StoredMessage& m) {
        for (const WaitingMessage& w : store_->waiting(100'000))
            if (model.carries(Request{w.message.sender, w.message.stamp, w.message.text}, m))
                return true;
        for (const StoredPart& p : store_->parts())
            if (p.part.pdu == m.hex)
                return true;
        return false;
    };
}

GatewayStore::~GatewayStore()
{
    delivery_.reset();
    intake_.reset();
    store_.reset();
    for (const char* file : {"/zorvel.sqlite", "/zorvel.sqlite-wal", "/zorvel.sqlite-shm"})
        std::remove((folder_ + file).c_str());
    rmdir(folder_.c_str());
}

bool GatewayStore::drained()
{
    return store_->waitingCount() == 0;
}

} // namespace zorvel::model

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

GatewayStore::GatewayStore(const ForwardingSettings& settings, PollCycle& cycle, Clock& clock,
                           HttpClient& web, ModelStore& model, Trace& trace)
    : folder_(freshFolder())
{
    StoreOpening opening = SqliteStore::open(folder_);
    if (opening.outcome != StoreOpening::Outcome::Ready)
        std::abort();
    store_ = std::move(opening.store);
    forwarding_ = std::make_unique<StoreForwarding>(*store_, web, clock, settings);
    forwarding_->stored = [&trace](const NewMessage& m, const std::vector<std::string>&) {
        trace.add("gateway stores " + Trace::shown(m.text) + " from " + Trace::shown(m.sender));
    };
    forwarding_->intake.events.deleting = [&trace](const std::string& index) {
        trace.add("gateway deletes " + Trace::shown(index) + " (stored)");
    };
    cycle.useStore(forwarding_->intake);
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
    forwarding_.reset();
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

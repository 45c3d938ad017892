#pragma once
// The gateway's local store in the model's world: a real SQLite file in a folder of its
// own (in memory-backed /dev/shm when there is one), the cycle's intake into it and
// delivery out of it to the model web application. The model store learns what the
// gateway holds, so that a delete of a message kept on disk counts as safe.
#include <memory>
#include <string>

#include "ModelStore.h"
#include "PollCycle.h"
#include "StoreForwarding.h"

namespace zorvel {
class SqliteStore;
}

namespace zorvel::model {

class GatewayStore {
public:
    GatewayStore(const ForwardingSettings& settings, PollCycle& cycle, Clock& clock, HttpClient& web,
                 ModelStore& model, Trace& trace);
    ~GatewayStore();

    // Nothing waits for delivery.
    bool drained();

private:
    std::string folder_;
    std::unique_ptr<SqliteStore> store_;
    std::unique_ptr<StoreForwarding> forwarding_;
};

} // namespace zorvel::model

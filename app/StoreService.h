#pragma once
// The local store in the running program (Store=1): the SQLite file in the working
// folder, the cycle's intake into it and delivery out of it, their log lines, and what
// the window shows of them (the waiting count, why the store cannot be written, the
// message going out).
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "Configuration.h"
#include "HttpClient.h"
#include "PollCycle.h"
#include "StatusFields.h"
#include "StoreForwarding.h"

namespace zorvel {

class SqliteStore;

class StoreService {
public:
    struct Opened {
        std::unique_ptr<StoreService> service; // set when the program may go on
        std::string error;               // otherwise: what the user is told
        int exitCode = 0;
    };
    // Opens `folder`/zorvel.sqlite. A damaged file, one of a newer version, or another
    // Zorvel on the folder ends the program; a folder that cannot be written does not:
    // the messages then wait on the modem, and what is stored is still delivered.
    static Opened open(const std::string& folder, const Configuration& config, Clock& clock,
                       HttpClient& http, StatusFields& fields);
    ~StoreService();

    // The cycle keeps its messages here; each one delivered counts in `count`.
    void attach(PollCycle& cycle);
    StoreIntake& intake() { return forwarding_.intake; }
    // Delivers what waits from an earlier run.
    void start() { forwarding_.delivery.wake(); }

private:
    StoreService(std::unique_ptr<SqliteStore> store, const Configuration& config, Clock& clock,
              HttpClient& http, StatusFields& fields);
    void showProblem();

    std::unique_ptr<SqliteStore> store_;
    std::string file_;
    StatusFields& fields_;
    StoreForwarding forwarding_;
    std::string storeProblem_;    // the intake's, shown before delivery's own
    std::string deliveryProblem_;
    std::function<void()> countDelivered_;
};

} // namespace zorvel

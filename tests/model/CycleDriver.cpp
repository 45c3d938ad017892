#include "CycleDriver.h"

#include <cstdio>
#include <memory>

#include "ReplyWindow.h"
#include "HeldLink.h"
#include "GatewayStore.h"
#include "ModelModem.h"
#include "ModelWeb.h"
#include "PollCycle.h"
#include "fakes/FakeClock.h"

namespace zorvel::model {

namespace {

constexpr std::size_t storeSlots = 15;
constexpr int hostileSecondsAtMost = 1200;
const std::string dest = "http://web.example/sms";
const std::string key = "k&y+1 #";

// A time stamp as the network sets it, from the clock's time of day.
std::string clockStamp(std::int64_t ms)
{
    const std::int64_t s = ms / 1000 % 86400;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "26/12/07,%02d:%02d:%02d+00", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return stamp;
}

ForwardingSettings settingsFor(Mode mode)
{
    ForwardingSettings settings;
    settings.mode = mode == Mode::Decoded ? MessageMode::Decoded
                    : mode == Mode::Pdu   ? MessageMode::Pdu
                                          : MessageMode::Text;
    settings.destination = dest;
    settings.key = key;
    return settings;
}

std::unique_ptr<Exchange> exchangeFor(bool fastLink, Mode mode, ModemPort& port, Clock& clock)
{
    const PortSettings settings{3, "9600,n,8,1"};
    if (!fastLink)
        return std::make_unique<ReplyWindow>(port, clock, settings);
    HeldLinkTimes times;
    if (mode == Mode::Text) {
        times.textMode = true;
        times.textLingerMs = 200;
    }
    return std::make_unique<HeldLink>(port, clock, settings, times);
}

struct World {
    World(Mode mode, bool keepOnDisk, bool fastLink)
        : store(mode, trace, storeSlots), exchange(exchangeFor(fastLink, mode, modem, clock)),
          cycle(*exchange, web, clock, settingsFor(mode), SetupSettings{{}, fastLink, "", "", fastLink, fastLink && mode == Mode::Text},
                LinkPace{fastLink})
    {
        if (auto* held = dynamic_cast<HeldLink*>(exchange.get())) {
            held->onAnnounced = [this] { cycle.messageAnnounced(); };
            held->onLinkBack = [this] { cycle.linkReopened(); };
            held->start();
        }
        if (keepOnDisk)
            local = std::make_unique<GatewayStore>(settingsFor(mode), cycle, clock, web, store, trace);
        exchange->onReplyComplete = [this](const std::string& reply) {
            trace.add(reply.empty() ? "window closed, nothing read: the gateway decodes what it showed before"
                                    : "window closed, the gateway read " + Trace::shown(reply));
        };
        cycle.events.deleting = [this](const std::string& index, bool before) {
            trace.add("gateway deletes " + Trace::shown(index) +
                      (before ? " (accepted in an earlier cycle)" : ""));
        };
        cycle.events.notice = [this](const std::string& what) { trace.add("gateway: " + what); };
    }

    void tick()
    {
        cycle.tick();
        clock.advance(1000);
    }
    // A steady stream of new messages, each arriving once a cycle has ended, so that
    // freed slots soon hold another message.
    void arrivals(Mode mode)
    {
        if (trafficSeconds <= 0 || clock.nowMs() < nextArrivalMs || cycle.running() || exchange->waiting())
            return;
        Instruction sms;
        sms.kind = Instruction::Kind::Sms;
        sms.sender = "+1555010" + std::to_string(1000 + ++arrived);
        const std::string text = "news " + std::to_string(arrived);
        sms.units.assign(text.begin(), text.end());
        store.add(MessageFor(sms, mode, clockStamp(clock.nowMs())));
        nextArrivalMs = clock.nowMs() + trafficSeconds * 1000;
    }

    bool settled() const
    {
        return store.empty() && !cycle.running() && !exchange->waiting() && web.idle() &&
               (!local || (local->drained() && store.owesNothing()));
    }

    testing::FakeClock clock;
    Trace trace{clock};
    ModelStore store;
    ModelModem modem{clock, store, trace};
    ModelWeb web{clock, store, trace, dest, key};
    std::unique_ptr<Exchange> exchange;
    PollCycle cycle;
    std::unique_ptr<GatewayStore> local; // with the local store; ends before the cycle
    std::int64_t trafficSeconds = 0;
    std::int64_t nextArrivalMs = 0;
    int arrived = 0;
};

} // namespace

std::int64_t LivenessBoundSeconds(std::size_t stored)
{
    // A well-behaved cycle takes the signal, operator, format and list exchanges, the
    // request and a delete: about 11 s, and reading a message back before forwarding
    // and before deleting it adds two more exchanges. 30 s a cycle covers that; three
    // cycles a message leave room for a refused turn and a repeated delete. On top: the
    // longest wait the gateway imposes (a long message's missing parts, 10 minutes) and a
    // minute for the first-cycle block and a request still waiting for its time-out.
    return 600 + 60 + static_cast<std::int64_t>(stored) * 3 * 30;
}

Outcome RunScenario(const Scenario& scenario)
{
    World w(scenario.mode, scenario.store, scenario.fastLink);
    const std::int64_t startMs = w.clock.nowMs();
    w.clock.advance(scenario.phaseMs);
    int hostileSeconds = 0;
    using Kind = Instruction::Kind;
    for (const Instruction& step : scenario.steps) {
        if (w.trace.broken())
            break;
        switch (step.kind) {
        case Kind::Echo:
            w.modem.setEcho(step.number != 0);
            break;
        case Kind::Sms: case Kind::Part: case Kind::Pdu:
            w.store.add(MessageFor(step, scenario.mode, clockStamp(w.clock.nowMs())));
            break;
        case Kind::Traffic:
            w.trafficSeconds = step.number;
            w.nextArrivalMs = w.clock.nowMs() + step.number * 1000;
            break;
        case Kind::Modem:
            w.modem.plan(step.word, ParseReplyStyles(step.styles));
            break;
        case Kind::Web:
            w.web.plan(ParseWebStyles(step.styles));
            break;
        case Kind::Run:
            for (int i = 0; i < step.number && hostileSeconds < hostileSecondsAtMost && !w.trace.broken(); ++i, ++hostileSeconds) {
                w.arrivals(scenario.mode);
                w.tick();
            }
            break;
        }
    }

    if (!w.trace.broken()) {
        w.trace.add("from here on the modem answers on time and the web application 200");
        w.modem.behave();
        w.web.behave();
        const std::size_t stored = w.store.messages().size();
        const std::int64_t bound = LivenessBoundSeconds(stored);
        std::int64_t waited = 0;
        for (; waited < bound && !w.trace.broken() && !w.settled(); ++waited)
            w.tick();
        if (!w.trace.broken() && !w.settled())
            w.trace.violation("liveness: " + std::to_string(stored) + " stored message(s) and " +
                              std::to_string(bound) + " s of a well-behaved modem and web " +
                              "application, and not everything was forwarded and deleted\n" +
                              w.store.describe());
    }
    return {!w.trace.broken(), w.trace.report(), w.trace.lines(), (w.clock.nowMs() - startMs) / 1000};
}

Outcome RunScript(std::string_view script)
{
    return RunScenario(ParseScenario(script));
}

} // namespace zorvel::model

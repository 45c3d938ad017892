#pragma once
// A clock that only moves when the test says so; timers fire as time passes them. Timers
// run on elapsed time, like real ones, so setting the wall clock does not move them.
#include <algorithm>
#include <map>
#include <vector>

#include "Clock.h"

namespace zorvel::testing {

class FakeClock : public Clock {
public:
    explicit FakeClock(std::int64_t startMs = 1'700'000'000'000) : offset_(startMs), start_(startMs) {}

    std::int64_t nowMs() const override { return elapsed_ + offset_; }
    std::string timeStamp() const override { return "T+" + std::to_string(nowMs() - start_); }
    std::unique_ptr<OneShotTimer> createTimer() override
    {
        return std::make_unique<Timer>(*this);
    }

    // Moves time forward by `ms`, firing every timer that falls due, in order.
    void advance(std::int64_t ms)
    {
        const std::int64_t target = elapsed_ + ms;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* t : timers_)
                if (t->armed && t->due <= target && (!next || t->due < next->due))
                    next = t;
            if (!next)
                break;
            elapsed_ = std::max(elapsed_, next->due);
            next->armed = false;
            auto callback = std::move(next->callback);
            callback();
        }
        elapsed_ = target;
    }
    // Sets the wall clock without firing anything (a clock set back or forward).
    void jumpTo(std::int64_t ms) { offset_ = ms - elapsed_; }
    void setStartReference() { start_ = nowMs(); }

    int armedTimers() const
    {
        return static_cast<int>(std::count_if(timers_.begin(), timers_.end(),
                                              [](Timer* t) { return t->armed; }));
    }

private:
    struct Timer : OneShotTimer {
        explicit Timer(FakeClock& c) : clock(c) { clock.timers_.push_back(this); }
        ~Timer() override { std::erase(clock.timers_, this); }
        void start(std::int64_t ms, std::function<void()> cb) override
        {
            due = clock.elapsed_ + std::max<std::int64_t>(ms, 0);
            callback = std::move(cb);
            armed = true;
        }
        void stop() override { armed = false; }
        FakeClock& clock;
        std::int64_t due = 0;
        bool armed = false;
        std::function<void()> callback;
    };

    std::int64_t elapsed_ = 0;
    std::int64_t offset_;
    std::int64_t start_;
    std::vector<Timer*> timers_;
};

} // namespace zorvel::testing

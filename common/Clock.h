#pragma once
// Wall clock and one-shot timers behind one interface, so that the exchange's reply
// window can be tested with a fake clock that jumps instead of waiting.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zorvel {

class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;
    // Runs `callback` once after `ms` milliseconds; a new start replaces the old one.
    virtual void start(std::int64_t ms, std::function<void()> callback) = 0;
    virtual void stop() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since 1970-01-01 of wall-clock time.
    virtual std::int64_t nowMs() const = 0;
    // Local date and time as YYYY-MM-DD hh:mm:ss.
    virtual std::string timeStamp() const = 0;
    virtual std::unique_ptr<OneShotTimer> createTimer() = 0;

    std::int64_t wholeSeconds() const;
};

} // namespace zorvel

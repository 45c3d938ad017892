#pragma once
// What the model saw, for the report when a rule breaks: the last commands, replies,
// requests and answers, each with its fake time since the start; and the first rule
// broken (later ones are mostly its consequences).
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "Clock.h"

namespace zorvel::model {

class Trace {
public:
    explicit Trace(const Clock& clock);

    void add(std::string_view line);
    // The bytes escaped and, when long, cut in the middle.
    static std::string shown(std::string_view bytes);

    void violation(const std::string& what);
    bool broken() const { return !violation_.empty(); }
    // The rule, and the events up to the moment it broke.
    std::string report() const;
    // The events kept so far.
    std::string lines() const;

private:

    const Clock& clock_;
    std::int64_t startMs_;
    std::deque<std::string> lines_;
    std::string violation_;
    std::string snapshot_;
};

} // namespace zorvel::model

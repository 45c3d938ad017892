#pragma once
// With the local store (Store=1): the cycle's intake into the store and delivery out of
// it, on the same store. A message just stored wakes delivery at once, so that it goes
// out without waiting for delivery's next look at the store.
#include <functional>
#include <string>
#include <vector>

#include "Delivery.h"
#include "StoreIntake.h"

namespace zorvel {

struct StoreForwarding {
    StoreForwarding(LocalStore& store, HttpClient& http, Clock& clock, const ForwardingSettings& settings)
        : intake(store, clock, IntakeSettings{FormatOf(settings.mode), settings.mode == MessageMode::Decoded,
                                              settings.multipartWaitMs}),
          delivery(store, http, clock, settings)
    {
        intake.events.stored = [this](const NewMessage& message, const std::vector<std::string>& indexes) {
            if (stored)
                stored(message, indexes);
            delivery.wake();
        };
    }

    StoreIntake intake; // its events.stored is ours: see `stored`
    Delivery delivery;
    // A message is in the store; told before delivery wakes for it.
    std::function<void(const NewMessage& message, const std::vector<std::string>& indexes)> stored;
};

} // namespace zorvel

#include "StoreForwarding.h"

namespace zorvel {

StoreForwarding::StoreForwarding(LocalStore& store, HttpClient& http, Clock& clock,
                                 const ForwardingSettings& settings)
    : intake(store, clock,
             IntakeSettings{FormatOf(settings.mode), settings.mode == MessageMode::Decoded,
                            settings.multipartWaitMs}),
      delivery(store, http, clock, ForwardTarget{settings.Dest, settings.SecKey})
{
    intake.events.stored = [this](const NewMessage& message, const std::vector<std::string>& indexes) {
        if (stored)
            stored(message, indexes);
        delivery.wake();
    };
}

} // namespace zorvel

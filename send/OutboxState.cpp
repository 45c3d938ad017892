#include "OutboxStore.h"

#include <array>
#include <utility>

namespace zorvel {

namespace {

constexpr std::array<std::pair<OutboxState, std::string_view>, 6> stateNames{{
    {OutboxState::Queued, "queued"},
    {OutboxState::Sending, "sending"},
    {OutboxState::Sent, "sent"},
    {OutboxState::Delivered, "delivered"},
    {OutboxState::Failed, "failed"},
    {OutboxState::Unknown, "unknown"},
}};

constexpr std::array<std::pair<OutboxOrigin, std::string_view>, 4> originNames{{
    {OutboxOrigin::CommandLine, "command-line"},
    {OutboxOrigin::Web, "web"},
    {OutboxOrigin::Window, "window"},
    {OutboxOrigin::Api, "api"},
}};

template <typename Enum, std::size_t N>
std::string_view nameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value)
{
    for (const auto& [v, name] : names)
        if (v == value)
            return name;
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, std::string_view>, N>& names,
                            std::string_view name)
{
    for (const auto& [v, n] : names)
        if (n == name)
            return v;
    return std::nullopt;
}

} // namespace

std::string_view OutboxStateName(OutboxState state) { return nameOf(stateNames, state); }
std::optional<OutboxState> OutboxStateFromName(std::string_view name) { return valueOf(stateNames, name); }
std::string_view OutboxOriginName(OutboxOrigin origin) { return nameOf(originNames, origin); }
std::optional<OutboxOrigin> OutboxOriginFromName(std::string_view name) { return valueOf(originNames, name); }

} // namespace zorvel

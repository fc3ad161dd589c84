#pragma once
// The events components post to each other through the PluginEventDispatcher. Trade events live
// with the trade capture that posts them (trade/TradeEvents.h).
#include <cstdint>
#include <string>
#include <utility>

namespace quorvex {

enum class EventType : std::int32_t {
    Toast = 1,
    TradeStart = 2,
    TradeEnd = 3,
    TradeScammer = 4,
    UserCodeChanged = 5,
};

// Polymorphic, so a listener can test the run-time type of what it receives.
struct EventBase {
    explicit EventBase(EventType eventType) : type(eventType) {}
    virtual ~EventBase() = default;

    EventType type;
};

// A request to show a toast; ToastHandler shows it under the service's branding.
struct ToastEvent : EventBase {
    ToastEvent(std::string toastText, std::int32_t kind, float seconds)
        : EventBase(EventType::Toast), text(std::move(toastText)), toastType(kind), duration(seconds)
    {
    }

    std::string text;
    // The host's toast kind: 0 success or information, 1 user code confirmed, 2 partner banned
    // for breaking the terms, 3 failure or partner banned for scamming.
    std::int32_t toastType;
    float duration;
};

// The accepted user code is now `current` instead of `previous` (they always differ; either may be
// empty, which is no linked account).
struct UserCodeChanged : EventBase {
    UserCodeChanged(std::string previousCode, std::string currentCode)
        : EventBase(EventType::UserCodeChanged), previous(std::move(previousCode)), current(std::move(currentCode))
    {
    }

    std::string previous;
    std::string current;
};

// The current trade partner is listed as a scammer by the service.
struct TradeScammer : EventBase {
    TradeScammer() : EventBase(EventType::TradeScammer) {}
};

}  // namespace quorvex

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>

#include "logging/MessageType.h"

using SubscriptionId = int64_t;

template <typename Signature> class SubscribedEvent;

// Delivers each publication to every subscribed handler, in the order of subscription, under one
// non-recursive lock: a publication is delivered completely before the next begins, and a handler
// must not publish on or subscribe to the event that is calling it.
template <typename... Args> class SubscribedEvent<void(Args...)> {
public:
    using Handler = std::function<void(Args...)>;

    SubscribedEvent() = default;
    virtual ~SubscribedEvent() = default;
    SubscribedEvent(const SubscribedEvent&) = delete;
    SubscribedEvent& operator=(const SubscribedEvent&) = delete;

    // Ids count up from 0 and are never reused, so a new handler is called after all earlier ones.
    void Subscribe(Handler handler, SubscriptionId& id)
    {
        std::lock_guard<std::mutex> guard(lock);
        handlers[nextId] = std::move(handler);
        id = nextId;
        ++nextId;
    }

    // Takes its own copy of every argument; each handler sees the same copy.
    void Publish(std::decay_t<Args>... values)
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& entry : handlers)
            entry.second(values...);
    }

private:
    std::map<SubscriptionId, Handler> handlers;
    SubscriptionId nextId = 0;
    std::mutex lock;
};

using MessageHandler = std::function<void(OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring&)>;
using MessageEvent = SubscribedEvent<void(OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring&)>;

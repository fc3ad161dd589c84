#pragma once
// The in-process event bus: components post typed events and whoever cares listens.
//
// Listeners are kept per event type in registration order and never removed. Dispatch calls the
// listeners of the event's type synchronously on the posting thread.
//
// Thread safety: both operations may be called from any thread. The table lock is held only to
// look a list up or to append to the table; a list's own lock only while stepping from one entry
// to the next. No lock is held while a listener runs, so a listener may dispatch or add listeners.
// A listener appended while a dispatch walks its list is not called by that walk.
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Events.h"

namespace quorvex {

class PluginEventDispatcher {
public:
    using Listener = std::function<void(const EventBase&)>;
    // A weak reference to the appended entry; callers may drop it at once.
    using ListenerHandle = std::weak_ptr<const Listener>;

    // Appends a listener for events of `type` whose run-time type is T; events of another
    // struct with the same type are skipped.
    template <class T, class Callable>
    ListenerHandle AddEventListener(EventType type, Callable listener)
    {
        return Append(type, [listener = std::move(listener)](const EventBase& event) {
            if (const auto* typed = dynamic_cast<const T*>(&event)) {
                listener(*typed);
            }
        });
    }

    // Calls every listener of event.type; logs a warning when `type` has none. An exception
    // from a listener stops the walk and passes to the caller.
    void Dispatch(EventType type, const EventBase& event);

private:
    // An append-only list with its own lock.
    class ListenerList {
    public:
        ListenerHandle Append(Listener listener);
        std::size_t Size() const;
        // The entry at index, taken under the list's lock.
        std::shared_ptr<const Listener> At(std::size_t index) const;

    private:
        mutable std::mutex mutex_;
        std::vector<std::shared_ptr<const Listener>> entries_;
    };

    ListenerHandle Append(EventType type, Listener listener);
    std::shared_ptr<ListenerList> Find(EventType type) const;

    mutable std::mutex tableMutex_;
    std::unordered_map<EventType, std::shared_ptr<ListenerList>> lists_;
};

}  // namespace quorvex

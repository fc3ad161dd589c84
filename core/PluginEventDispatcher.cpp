#include "core/PluginEventDispatcher.h"

#include "core/Log.h"
#include "core/Texts.h"

namespace quorvex {

PluginEventDispatcher::ListenerHandle PluginEventDispatcher::ListenerList::Append(Listener listener)
{
    auto entry = std::make_shared<const Listener>(std::move(listener));
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
    return entry;
}

std::size_t PluginEventDispatcher::ListenerList::Size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

std::shared_ptr<const PluginEventDispatcher::Listener> PluginEventDispatcher::ListenerList::At(
    std::size_t index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_[index];
}

PluginEventDispatcher::ListenerHandle PluginEventDispatcher::Append(EventType type, Listener listener)
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    auto& list = lists_[type];
    if (!list) {
        list = std::make_shared<ListenerList>();
    }
    return list->Append(std::move(listener));
}

std::shared_ptr<PluginEventDispatcher::ListenerList> PluginEventDispatcher::Find(EventType type) const
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    auto found = lists_.find(type);
    return found == lists_.end() ? nullptr : found->second;
}

void PluginEventDispatcher::Dispatch(EventType type, const EventBase& event)
{
    const auto announced = Find(type);
    if (!announced || announced->Size() == 0) {
        LogText(texts::core::NoListenersLine);
    }
    const auto listeners = Find(event.type);
    if (!listeners) {
        return;
    }
    // Entries appended from here on are not part of this walk.
    const std::size_t count = listeners->Size();
    for (std::size_t index = 0; index < count; ++index) {
        (*listeners->At(index))(event);
    }
}

}  // namespace quorvex

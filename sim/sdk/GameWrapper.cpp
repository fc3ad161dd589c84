// GameWrapper: the address is the host's State.
#include "host/GameWrapper.h"

#include <charconv>
#include <utility>

#include "sim/HostState.h"
#include "sim/sdk/ObjectAt.h"

namespace {

sim::Host::State& HostOf(const GameWrapper& game)
{
    return sim::ObjectAt<sim::Host::State>(game.memory_address, "GameWrapper");
}

// The delay as the decimal number the caller wrote: 0.1f stands for 0.1 s, not for the
// 0.100000001 s it holds, so a timer set for 0.1 s falls due within RunFor(0.1 s).
sim::Seconds DelayOf(float seconds)
{
    char text[64];
    const auto written = std::to_chars(text, text + sizeof(text), seconds);  // shortest form
    double value = 0;
    std::from_chars(text, written.ptr, value);
    return sim::Seconds(value);
}

// The task as a loop task: it gets its own GameWrapper, like the host's.
sim::GameLoop::Task BindGame(GameWrapper::Task task, std::uintptr_t game)
{
    return [task = std::move(task), game] {
        GameWrapper wrapper(game);
        task(&wrapper);
    };
}

}  // namespace

void GameWrapper::HookEvent(const std::string& eventName, EventCallback callback)
{
    sim::Hooks::PreCallback preHook;
    if (callback) {
        preHook = [callback = std::move(callback)](std::uintptr_t, void*, std::string name) {
            callback(std::move(name));
        };
    }
    HostOf(*this).hooks.AddPre(eventName, std::move(preHook));
}

void GameWrapper::HookEventPost(const std::string& eventName, EventCallback callback)
{
    HostOf(*this).hooks.AddPost(eventName, std::move(callback));
}

template <class T>
void GameWrapper::HookEventWithCaller(const std::string& eventName,
                                      std::function<void(T caller, void* params, std::string eventName)> callback)
{
    sim::Hooks::PreCallback preHook;
    if (callback) {
        preHook = [callback = std::move(callback)](std::uintptr_t caller, void* params, std::string name) {
            callback(T(caller), params, std::move(name));
        };
    }
    HostOf(*this).hooks.AddPre(eventName, std::move(preHook));
}

// The caller types the SDK offers.
template void GameWrapper::HookEventWithCaller<ActorWrapper>(
    const std::string&, std::function<void(ActorWrapper, void*, std::string)>);

void GameWrapper::Execute(Task task)
{
    auto& host = HostOf(*this);
    if (!task) {
        host.Log("plexar-sim: empty Execute task ignored");
        return;
    }
    host.loop.Post(BindGame(std::move(task), memory_address));
}

void GameWrapper::SetTimeout(Task task, float seconds)
{
    auto& host = HostOf(*this);
    if (!task) {
        host.Log("plexar-sim: empty SetTimeout task ignored");
        return;
    }
    host.loop.PostAfter(DelayOf(seconds), BindGame(std::move(task), memory_address));
}

std::filesystem::path GameWrapper::GetPlexarPath()
{
    return HostOf(*this).options.hostDir;
}

std::filesystem::path GameWrapper::GetDataFolder()
{
    return HostOf(*this).options.hostDir / "data";
}

ItemsWrapper GameWrapper::GetItemsWrapper()
{
    return ItemsWrapper(HostOf(*this).world.ItemsAddress());
}

UniqueIDWrapper GameWrapper::GetUniqueID()
{
    return UniqueIDWrapper(HostOf(*this).world.LocalPlayerAddress());
}

ServerWrapper GameWrapper::GetCurrentGameState()
{
    return ServerWrapper(HostOf(*this).world.GameStateAddress());
}

std::string GameWrapper::GetFNameByIndex(int index)
{
    return HostOf(*this).names.NameAt(index);
}

ModalWrapper GameWrapper::CreateModal(const std::string& title)
{
    sim::ModalDraft& draft = HostOf(*this).screen.CreateModal(title);
    return ModalWrapper(reinterpret_cast<std::uintptr_t>(&draft));
}

void GameWrapper::Toast(const std::string& title, const std::string& text,
                        const std::string& texture, float seconds, std::uint8_t toastType,
                        float width, float height)
{
    HostOf(*this).screen.ShowToast({title, text, texture, seconds, toastType, width, height});
}

void GameWrapper::LoadToastTexture(const std::string& name, const std::filesystem::path& path)
{
    HostOf(*this).screen.LoadTexture(name, path);
}

#pragma once
// The game: hooks on engine functions, the game thread's timers and task queue, paths, game data,
// toasts and modals.
//
// Thread safety: Execute and SetTimeout may be called from any thread; Toast and the paths too.
// Everything else is called on the game thread. Hook callbacks, timers and Execute tasks run on
// the game thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "host/GameData.h"
#include "host/ModalWrapper.h"
#include "host/ObjectWrapper.h"

class GameWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    using EventCallback = std::function<void(std::string eventName)>;
    // Before each call of the engine function.
    void HookEvent(const std::string& eventName, EventCallback callback);
    // After each call of the engine function.
    void HookEventPost(const std::string& eventName, EventCallback callback);

    // Before each call, with the calling actor viewed as T and the call's raw parameter block.
    // The SDK library provides it for T = ActorWrapper.
    template <class T>
    void HookEventWithCaller(const std::string& eventName,
                             std::function<void(T caller, void* params, std::string eventName)> callback);

    using Task = std::function<void(GameWrapper* game)>;
    // Runs the task soon, on the game thread.
    void Execute(Task task);
    // Runs the task once on the game thread, seconds from now.
    void SetTimeout(Task task, float seconds);

    std::filesystem::path GetPlexarPath();
    std::filesystem::path GetDataFolder();

    // A null wrapper when the game has no items store yet.
    ItemsWrapper GetItemsWrapper();
    UniqueIDWrapper GetUniqueID();
    // A null wrapper outside a game.
    ServerWrapper GetCurrentGameState();
    std::string GetFNameByIndex(int index);

    ModalWrapper CreateModal(const std::string& title);
    void Toast(const std::string& title, const std::string& text,
               const std::string& texture = "default", float seconds = 3.5f,
               std::uint8_t toastType = 0, float width = 290.0f, float height = 60.0f);
    void LoadToastTexture(const std::string& name, const std::filesystem::path& path);
};

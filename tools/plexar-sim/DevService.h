#pragma once
// A qvx-devservice of the same build, started for one session (plexar-sim --devservice): on a free
// loopback port, stopped when this object goes, whatever ended the session. Its state
// (GET /dev/state) is summarised at the end against the game's inventory.
//
// Threads: created, queried and destroyed on the main thread. A reader thread of its own drains
// the service's output (so the service never blocks on a full pipe) and keeps its last lines,
// guarded by mutex_.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace plexarsim {

class DevService {
public:
    // Starts `program --port 0 ARGUMENTS...` and waits for its listening line. Throws
    // std::runtime_error with the reason (and the service's last lines) when it does not start,
    // or on a platform where plexar-sim cannot start programs.
    DevService(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    // Stops the service (SIGTERM, then SIGKILL after 5 s) and waits for it.
    ~DevService();
    DevService(const DevService&) = delete;
    DevService& operator=(const DevService&) = delete;

    // "http://127.0.0.1:PORT"
    const std::string& Url() const { return url_; }

private:
    void Stop();
    void ReadOutput(int fd);

    std::string url_;
    long pid_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lastLines_;
    bool outputEnded_ = false;
};

// The lines that sum up a GET /dev/state answer: requests per endpoint and status, and per
// account with a player id (the one the plug-in used) the items held against `gameInstanceIds`
// (the game's owned items). Throws nlohmann::json::exception for a state of another shape.
std::vector<std::string> SummariseDevState(const nlohmann::json& state, std::vector<std::uint64_t> gameInstanceIds);

}  // namespace plexarsim

#pragma once
// The service on a free port of 127.0.0.1, served by a thread of the test, with its console
// lines kept; and raw exchanges for requests a client library would not send as they are.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "tests/support/WaitUntil.h"
#include "tools/qvx-devservice/HttpRouter.h"

namespace qvxdev::testing {

constexpr const char* Code = "QVX-TEST";

class ServedRouter {
public:
    explicit ServedRouter(FaultPlan plan = {}, ServerLimits limits = {})
        : faults_(std::move(plan)), router_(handlers_, store_, faults_, [this](const std::string& line) {
              {
                  std::lock_guard<std::mutex> lock(mutex_);
                  lines_.push_back(line);
              }
              logged_.notify_all();
          }, limits)
    {
        store_.AddAccount(Code);
        port_ = router_.Bind(0);
        serving_ = std::thread([this] { router_.Serve(); });
    }

    ~ServedRouter()
    {
        router_.Stop();
        serving_.join();
    }

    int Port() const { return port_; }
    Store& Data() { return store_; }
    FaultInjector& Faults() { return faults_; }

    httplib::Client Client() const
    {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(20, 0);  // never longer than the test's own timeout
        return client;
    }

    static httplib::Headers PluginHeaders(const std::string& key = ApiKey)
    {
        return {{"x-qvx-key", key},
                {"x-qvx-user-code", Code},
                {"x-qvx-version", PluginVersion},
                {"x-qvx-user-platform", "Steam"},
                {"x-qvx-user-id", "76561198012345678"}};
    }

    httplib::Result Post(const std::string& path, const std::string& body) const
    {
        return Client().Post(path.c_str(), PluginHeaders(), body, "application/json");
    }

    // A developer route, as a JSON post.
    httplib::Result Dev(const std::string& path, const std::string& body = "") const
    {
        return Client().Post(path.c_str(), body, "application/json");
    }

    nlohmann::json State() const { return nlohmann::json::parse(Client().Get("/dev/state")->body); }

    // The console line that contains text, empty when none came in time. The line is written
    // once the answer has been sent, so it may come after the client has its answer: wait for it.
    std::string WaitForLine(const std::string& text)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        std::string found;
        logged_.wait_for(lock, quorvex::testing::Patience, [&] {
            for (const std::string& line : lines_) {
                if (line.find(text) != std::string::npos) {
                    found = line;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    Store store_{":memory:"};
    FaultInjector faults_;
    ApiHandlers handlers_{store_, {{"Steam|666|0", Standing::Scammer}}};
    std::mutex mutex_;
    std::condition_variable logged_;
    std::vector<std::string> lines_;
    HttpRouter router_;
    int port_ = 0;
    std::thread serving_;
};

// A connected socket to 127.0.0.1:port, -1 when the connection failed.
inline int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the server writes on fd until it closes.
inline std::string ReadToEnd(int fd)
{
    std::string response;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        response.append(buffer, static_cast<std::size_t>(got));
    }
    return response;
}

// Sends request as it stands on a new connection and returns everything the server writes
// until it closes.
inline std::string RawExchange(int port, const std::string& request)
{
    const int fd = Connect(port);
    std::string response;
    if (fd >= 0 && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(request.size())) {
        response = ReadToEnd(fd);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return response;
}

}  // namespace qvxdev::testing

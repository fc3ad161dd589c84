#pragma once
// The service as a test scripts it: answers the plug-in's requests by URL path on the host's HTTP
// thread (200 "{}" unless told otherwise), and can hold every answer back until the test releases
// it, so a test can act while a request is in flight.
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Host.h"

namespace quorvex::testing {

class ScriptedService {
public:
    explicit ScriptedService(sim::Host& host) : host_(host), state_(std::make_shared<State>())
    {
        host.SetResponder([state = state_](const CurlRequest& request) {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->released.wait(lock, [&] { return !state->holding; });
            const auto found = state->answers.find(PathOf(request.url));
            return found == state->answers.end() ? sim::ScriptedResponse{200, "{}", {}} : found->second;
        });
    }
    // Lets held answers go, so the host can finish its requests.
    ~ScriptedService() { Release(); }
    ScriptedService(const ScriptedService&) = delete;
    ScriptedService& operator=(const ScriptedService&) = delete;

    void Answer(const std::string& path, int status, std::string body = "{}")
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->answers[path] = {status, std::move(body), {}};
    }

    void Hold()
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->holding = true;
    }

    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->holding = false;
        }
        state_->released.notify_all();
    }

    // The requests sent to the path so far, in send order.
    std::vector<sim::HttpExchange> RequestsTo(const std::string& path) const
    {
        std::vector<sim::HttpExchange> requests;
        for (auto& exchange : host_.HttpExchanges()) {
            if (PathOf(exchange.url) == path) {
                requests.push_back(exchange);
            }
        }
        return requests;
    }

    // "https://api.quorvex.com/api/v2/x.php?a" -> "/api/v2/x.php".
    static std::string PathOf(const std::string& url)
    {
        const auto start = url.find('/', url.find("://") + 3);
        return start == std::string::npos ? "/" : url.substr(start, url.find('?', start) - start);
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable released;
        bool holding = false;
        std::map<std::string, sim::ScriptedResponse> answers;
    };

    sim::Host& host_;
    const std::shared_ptr<State> state_;
};

}  // namespace quorvex::testing

#pragma once
// The host's HTTP service behind HttpWrapper::SendCurlJsonRequest: one HTTP thread that sends
// the queued requests in order (with libcurl, or to the in-process responder) and calls each
// callback there, never on the game thread.
//
// Threads: Send, SetResponder, Exchanges and WaitForIdle may be called from any thread (but
// WaitForIdle not from a callback). The queue, the exchange records, the responder and the
// counters are guarded by mutex_; idle_ signals completions, work_ new requests. Callbacks and
// the responder run on the HTTP thread with no lock held.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/HttpWrapper.h"
#include "sim/Host.h"

namespace sim {

class Journal;

// The URL a request is sent to: with a service URL set, "https://api.quorvex.com" at the start
// of the URL (followed by its end, "/", "?", "#" or ":") is replaced by the service URL.
std::string RedirectToService(const std::string& url, const std::string& serviceUrl);

class HttpService {
public:
    using ErrorReport = std::function<void(const std::string& line)>;

    HttpService(Journal& journal, std::string serviceUrl, ErrorReport report);
    // Stop().
    ~HttpService();
    HttpService(const HttpService&) = delete;
    HttpService& operator=(const HttpService&) = delete;

    // Records and queues the request. False, with nothing recorded or moved from, once Stop has
    // begun.
    bool Send(CurlRequest&& request, HttpWrapper::ResponseCallback&& callback);
    void SetResponder(Responder responder);
    std::vector<HttpExchange> Exchanges() const;
    // "a request to URL is in flight" for the oldest request not yet answered with its callback
    // returned; empty when there is none.
    std::string RequestInFlight() const;
    // How many requests are sent and not yet answered with their callback returned.
    std::size_t RequestsInFlight() const;
    // Counts requests sent and answered so far: a change shows HTTP work done meanwhile.
    std::uint64_t Activity() const;
    // Blocks until every request sent before the call has been answered and its callback has
    // returned.
    void WaitForIdle();
    // Refuses new requests, answers the queued ones (calling their callbacks), joins the thread.
    void Stop();

private:
    struct Job {
        std::size_t exchange;
        CurlRequest request;
        std::string url;  // where it is sent
        HttpWrapper::ResponseCallback callback;
    };

    void RunWorker();
    void Complete(Job& job);

    Journal& journal_;
    const std::string serviceUrl_;
    const ErrorReport report_;

    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    std::vector<HttpExchange> exchanges_;
    Responder responder_;
    std::size_t completed_ = 0;  // requests answered with their callback returned, in send order
    bool accepting_ = true;

    std::thread worker_;  // last: started once everything above exists
};

}  // namespace sim

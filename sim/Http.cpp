#include "sim/Http.h"

#include <stdexcept>
#include <string_view>
#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/HttpTransport.h"
#include "sim/Guard.h"
#include "sim/Journal.h"

namespace sim {
namespace {

constexpr std::string_view ServiceOrigin = "https://api.quorvex.com";

std::string DescribeRequest(const CurlRequest& request, const std::string& sentTo)
{
    std::string text =
        fmt::format("http> {} {}", request.verb.empty() ? "POST" : request.verb, request.url);
    if (sentTo != request.url) {
        text += " (sent to " + sentTo + ")";
    }
    for (const auto& [name, value] : request.headers) {
        text += fmt::format("\n{}: {}", name, value);
    }
    if (!request.body.empty()) {
        text += "\n\n" + JournalBodyText(request.body);
    }
    return text;
}

}  // namespace

std::string RedirectToService(const std::string& url, const std::string& serviceUrl)
{
    if (serviceUrl.empty() || url.compare(0, ServiceOrigin.size(), ServiceOrigin) != 0) {
        return url;
    }
    const std::string rest = url.substr(ServiceOrigin.size());
    if (!rest.empty() && std::string_view("/?#:").find(rest.front()) == std::string_view::npos) {
        return url;  // another host, as "https://api.quorvex.com.example"
    }
    std::string base = serviceUrl;
    if (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + rest;
}

HttpService::HttpService(Journal& journal, std::string serviceUrl, ErrorReport report)
    : journal_(journal), serviceUrl_(std::move(serviceUrl)), report_(std::move(report)),
      worker_([this] { RunWorker(); })
{
}

HttpService::~HttpService()
{
    Stop();
}

bool HttpService::Send(CurlRequest&& request, HttpWrapper::ResponseCallback&& callback)
{
    std::string url = RedirectToService(request.url, serviceUrl_);
    std::string description = DescribeRequest(request, url);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!accepting_) {
        return false;
    }
    nlohmann::json fields{
        {"id", exchanges_.size()},
        {"verb", request.verb.empty() ? "POST" : request.verb},
        {"url", request.url},
        {"sentTo", url},
        {"headers", request.headers},
    };
    AddBodyFields(fields, request.body);
    exchanges_.push_back({request.url, request.verb, request.headers, request.body, 0, {}});
    // Journaled under the lock so that Stop cannot finish (and the journal go) meanwhile.
    journal_.Add(JournalEntry::Kind::HttpRequest, std::move(description),
                 std::make_shared<const nlohmann::json>(std::move(fields)));
    queue_.push_back({exchanges_.size() - 1, std::move(request), std::move(url),
                      std::move(callback)});
    work_.notify_one();
    return true;
}

void HttpService::SetResponder(Responder responder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<HttpExchange> HttpService::Exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

std::string HttpService::RequestInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (completed_ >= exchanges_.size()) {
        return {};
    }
    return "a request to " + exchanges_[completed_].url + " is in flight";
}

std::size_t HttpService::RequestsInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_.size() - completed_;
}

std::uint64_t HttpService::Activity() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_.size() + completed_;
}

void HttpService::WaitForIdle()
{
    if (std::this_thread::get_id() == worker_.get_id()) {
        throw std::logic_error("plexar-sim: WaitForHttpIdle called on the HTTP thread");
    }
    std::unique_lock<std::mutex> lock(mutex_);
    const std::size_t sent = exchanges_.size();
    idle_.wait(lock, [&] { return completed_ >= sent; });
}

void HttpService::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        accepting_ = false;
    }
    work_.notify_one();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void HttpService::RunWorker()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return !queue_.empty() || !accepting_; });
        if (queue_.empty()) {
            return;  // stopped, and every queued request answered
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        Complete(job);
        job = Job{};  // the callback's captures go before the next request, outside the lock
        lock.lock();
        ++completed_;
        idle_.notify_all();
    }
}

void HttpService::Complete(Job& job)
{
    Responder responder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        responder = responder_;
    }
    HttpAnswer answer;
    if (responder) {
        ScriptedResponse scripted;
        try {
            scripted = responder(job.request);
        } catch (const std::exception& error) {
            scripted = {0, std::string("plexar-sim: responder threw: ") + error.what(), {}};
        } catch (...) {
            scripted = {0, "plexar-sim: responder threw: unknown exception", {}};
        }
        std::this_thread::sleep_for(scripted.delay);
        answer = {scripted.status, std::move(scripted.body)};
    } else {
        answer = SendOverNetwork(job.request, job.url);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        exchanges_[job.exchange].status = answer.status;
        exchanges_[job.exchange].responseBody = std::string(KeptBodyPart(answer.body));
    }
    nlohmann::json fields{{"id", job.exchange}, {"url", job.request.url}, {"status", answer.status}};
    AddBodyFields(fields, answer.body);
    journal_.Add(JournalEntry::Kind::HttpResponse, fmt::format("http< {} {}", answer.status, JournalBodyText(answer.body)),
                 std::make_shared<const nlohmann::json>(std::move(fields)));
    if (job.callback) {
        CallGuarded(report_, "HTTP callback",
                    [&] { job.callback(answer.status, std::move(answer.body)); });
    }
}

}  // namespace sim

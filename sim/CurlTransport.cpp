#include "sim/HttpTransport.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

#include <strings.h>

namespace sim {
namespace {

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool HasHeader(const CurlRequest& request, std::string_view name)
{
    for (const auto& header : request.headers) {
        if (EqualsIgnoringCase(header.first, name)) {
            return true;
        }
    }
    return false;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

void AppendHeader(HeaderList& list, const std::string& line)
{
    curl_slist* appended = curl_slist_append(list.get(), line.c_str());
    if (appended != nullptr) {
        (void)list.release();  // the same list, now longer
        list.reset(appended);
    }
}

}  // namespace

HttpAnswer SendOverNetwork(const CurlRequest& request, const std::string& url)
{
    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        return {0, "curl_easy_init failed"};
    }
    CURL* handle = curl.get();
    const bool isJsonPost = request.verb.empty() || request.verb == "POST";

    HeaderList headers;
    if (isJsonPost) {
        for (const char* name : {"Content-Type", "Accept"}) {
            if (!HasHeader(request, name)) {
                AppendHeader(headers, std::string(name) + ": application/json");
            }
        }
    }
    for (const auto& [name, value] : request.headers) {
        AppendHeader(headers, name + ": " + value);
    }

    std::string body;
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, HttpTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendToString);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    if (isJsonPost) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
    } else if (request.verb == "GET") {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
    }
    if (isJsonPost || (request.verb != "GET" && !request.body.empty())) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    }

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        return {0, error[0] != '\0' ? std::string(error) : curl_easy_strerror(result)};
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return {static_cast<int>(status), std::move(body)};
}

}  // namespace sim

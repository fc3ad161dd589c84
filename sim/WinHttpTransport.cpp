// The host's HTTP exchange on Windows, over WinHTTP: one session and one connection per request,
// synchronous, on the host's HTTP thread.
#include "sim/HttpTransport.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string_view>

namespace sim {
namespace {

struct InternetHandleCloser {
    void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// UTF-8 to UTF-16, as every WinHTTP call takes its texts; bytes that are not UTF-8 become U+FFFD.
std::wstring Wide(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

// "WinHttpSendRequest failed: <the system's text> (error N)".
std::string Failure(const char* call)
{
    const DWORD error = GetLastError();
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  GetModuleHandleA("winhttp.dll"), error, 0, text, sizeof text, nullptr);
    if (length == 0) {
        length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                text, sizeof text, nullptr);
    }
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return std::string(call) + " failed: " + (message.empty() ? "unknown error" : message) + " (error " +
           std::to_string(error) + ")";
}

bool HasHeader(const CurlRequest& request, std::string_view name)
{
    for (const auto& header : request.headers) {
        if (header.first.size() == name.size() &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, header.first.data(), static_cast<int>(name.size()),
                           name.data(), static_cast<int>(name.size())) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

}  // namespace

HttpAnswer SendOverNetwork(const CurlRequest& request, const std::string& url)
{
    const std::wstring wideUrl = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
        return {0, Failure("WinHttpCrackUrl")};
    }
    const std::wstring hostName(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    const InternetHandle session(WinHttpOpen(L"plexar-sim", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return {0, Failure("WinHttpOpen")};
    }
    const int timeout = static_cast<int>(HttpTimeoutSeconds * 1000);
    WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);
    const InternetHandle connection(WinHttpConnect(session.get(), hostName.c_str(), parts.nPort, 0));
    if (!connection) {
        return {0, Failure("WinHttpConnect")};
    }
    const bool isJsonPost = request.verb.empty() || request.verb == "POST";
    const std::wstring verb = isJsonPost ? L"POST" : Wide(request.verb);
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    const InternetHandle exchange(WinHttpOpenRequest(connection.get(), verb.c_str(), target.c_str(), nullptr,
                                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!exchange) {
        return {0, Failure("WinHttpOpenRequest")};
    }
    // No redirects followed, and a connection of its own for each request, as with libcurl: a
    // kept-alive one the service has closed meanwhile would fail the next request.
    DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(exchange.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);

    std::wstring headers;
    if (isJsonPost) {
        for (const char* name : {"Content-Type", "Accept"}) {
            if (!HasHeader(request, name)) {
                headers += Wide(name) + L": application/json\r\n";
            }
        }
    }
    for (const auto& [name, value] : request.headers) {
        headers += Wide(name) + L": " + Wide(value) + L"\r\n";
    }
    const bool sendsBody = isJsonPost || (request.verb != "GET" && !request.body.empty());
    const DWORD bodySize = sendsBody ? static_cast<DWORD>(request.body.size()) : 0;
    void* body = sendsBody && bodySize > 0 ? const_cast<char*>(request.body.data()) : WINHTTP_NO_REQUEST_DATA;
    if (!WinHttpSendRequest(exchange.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            static_cast<DWORD>(headers.size()), body, bodySize, bodySize, 0)) {
        return {0, Failure("WinHttpSendRequest")};
    }
    if (!WinHttpReceiveResponse(exchange.get(), nullptr)) {
        return {0, Failure("WinHttpReceiveResponse")};
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(exchange.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        return {0, Failure("WinHttpQueryHeaders")};
    }
    std::string answer;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(exchange.get(), &available)) {
            return {0, Failure("WinHttpQueryDataAvailable")};
        }
        if (available == 0) {
            break;
        }
        const std::size_t before = answer.size();
        answer.resize(before + available);
        DWORD read = 0;
        if (!WinHttpReadData(exchange.get(), answer.data() + before, available, &read)) {
            return {0, Failure("WinHttpReadData")};
        }
        answer.resize(before + read);
    }
    return {static_cast<int>(status), std::move(answer)};
}

}  // namespace sim

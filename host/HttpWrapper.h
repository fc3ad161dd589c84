#pragma once
// HTTP requests sent by the host.
//
// Thread safety: SendCurlJsonRequest may be called from any thread. The request runs off the game
// thread and the callback is called on a host HTTP thread, never on the game thread.
#include <functional>
#include <map>
#include <string>
#include <vector>

struct CurlRequest {
    std::string url;
    // Empty: the host's default for the request kind (POST for a JSON body).
    std::string verb;
    // One value per header name, iterated in name order.
    std::map<std::string, std::string> headers;
    std::string body;
    std::vector<char> binaryBody;
    std::function<void(double downloadTotal, double downloaded, double uploadTotal,
                       double uploaded)>
        progressFunction;
};

class HttpWrapper {
public:
    // Sends body as JSON ("Content-Type: application/json"). The callback receives the HTTP
    // status, or 0 with an error text when no answer came.
    using ResponseCallback = std::function<void(int status, std::string body)>;
    static void SendCurlJsonRequest(CurlRequest request, ResponseCallback callback);
};

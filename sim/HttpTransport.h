#pragma once
// One HTTP exchange over the network, the way the host sends plug-in requests: over libcurl on
// Linux (CurlTransport.cpp), over WinHTTP on Windows (WinHttpTransport.cpp).
//
// Threads: called on the host's HTTP thread; blocks until the answer or the 10 s timeout.
#include <string>

#include "host/HttpWrapper.h"

namespace sim {

struct HttpAnswer {
    int status = 0;  // 0 when no answer came; body then holds the error
    std::string body;
};

// How long one exchange may take.
constexpr long HttpTimeoutSeconds = 10;

// Sends the request to `url` (the request's URL after any service redirect). An empty verb or
// "POST" posts the body as JSON; "GET" sends no body; another verb is sent as given, with the
// body when there is one. Headers are sent in the map's (name) order; redirects are not followed.
// binaryBody and progressFunction are not used.
HttpAnswer SendOverNetwork(const CurlRequest& request, const std::string& url);

}  // namespace sim

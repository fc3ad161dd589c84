// HttpWrapper: the static entry point finds the running host.
#include "host/HttpWrapper.h"

#include <cstdio>
#include <exception>
#include <thread>
#include <utility>

#include "sim/HostState.h"

void HttpWrapper::SendCurlJsonRequest(CurlRequest request, ResponseCallback callback)
{
    if (sim::SendToCurrentHost(std::move(request), std::move(callback)) || !callback) {
        return;
    }
    // No host to send it (none created yet, or it is shutting down): answer "no answer" off the
    // caller's thread, as a real completion would come.
    std::thread([callback = std::move(callback)] {
        try {
            callback(0, "plexar-sim: no host is running to send the request");
        } catch (const std::exception& error) {
            std::fprintf(stderr, "plexar-sim: HTTP callback threw: %s\n", error.what());
        } catch (...) {
            std::fprintf(stderr, "plexar-sim: HTTP callback threw: unknown exception\n");
        }
    }).detach();
}

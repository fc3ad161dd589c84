// The readers of the service's answers: the "message" of any answer and the guid and full flag of
// an accepted inventory upload. Neither may throw, and each takes only what the body holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "inventory/InventorySync.h"
#include "tests/fuzz/FuzzSupport.h"

using quorvex::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);

    const std::string message = quorvex::QvxApi::GetResponseMessageOrEmpty(body);
    const auto answer = quorvex::ReadSyncAnswer(body);
    if (message.empty() && !answer) {
        return 0;
    }

    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    Require(parsed.is_object(), "only a JSON object gives a message or a sync answer");
    if (!message.empty()) {
        Require(parsed.at("message") == message, "the message is the body's top-level \"message\"");
    }
    if (answer) {
        Require(parsed.at("guid") == answer->guid, "the guid is the body's \"guid\"");
        Require(parsed.at("full") == answer->wantsFull, "the full flag is the body's \"full\"");
    }
    return 0;
}

#pragma once
// A substitute host on virtual time in a fresh folder, which goes when the test ends.
#include <filesystem>
#include <memory>

#include "sim/Host.h"

namespace sim::test {

class TestHost {
public:
    explicit TestHost(HostOptions options = {})
        : host_(std::make_unique<Host>(std::move(options))), dir_(host_->Options().hostDir)
    {
    }
    ~TestHost()
    {
        host_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    Host& operator*() { return *host_; }
    Host* operator->() { return host_.get(); }
    // Ends the host now (the folder stays until the TestHost goes).
    void Destroy() { host_.reset(); }

private:
    std::unique_ptr<Host> host_;
    std::filesystem::path dir_;
};

}  // namespace sim::test

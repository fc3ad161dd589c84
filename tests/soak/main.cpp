// qvx_soak_scenario --seed N --hours H --work DIR: writes DIR/soak.scn (the session),
// DIR/initial-inventory.json (what the player owns at the start) and DIR/expected.json (what the
// service must hold at the end, and the counts of events). soak.sh runs it.
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include <fmt/format.h>

#include "tests/soak/SoakScenario.h"

namespace {

int Usage(const std::string& why)
{
    std::cerr << "qvx_soak_scenario: " << why << "\nusage: qvx_soak_scenario --seed N --hours H --work DIR\n";
    return 2;
}

std::ofstream Open(const std::string& path)
{
    std::ofstream file(path);
    if (!file) {
        throw std::runtime_error(fmt::format("cannot write {}", path));
    }
    return file;
}

}  // namespace

int main(int argc, char** argv)
{
    soak::SoakOptions options;
    try {
        for (int i = 1; i < argc; i += 2) {
            const std::string flag = argv[i];
            if (i + 1 >= argc) {
                return Usage(flag + " needs a value");
            }
            const std::string value = argv[i + 1];
            std::size_t used = 0;
            if (flag == "--seed") {
                options.seed = std::stoull(value, &used);
            } else if (flag == "--hours") {
                options.hours = std::stod(value, &used);
            } else if (flag == "--work") {
                options.workDir = value;
                used = value.size();
            } else {
                return Usage("unknown flag " + flag);
            }
            if (used != value.size()) {
                return Usage(fmt::format("{}: not a number: {}", flag, value));
            }
        }
        soak::SoakScenario scenario(options);
        std::ofstream session = Open(options.workDir + "/soak.scn");
        std::ofstream initial = Open(options.workDir + "/" + soak::SoakFiles::Initial);
        std::ofstream expected = Open(options.workDir + "/expected.json");
        scenario.Write(session, initial, expected);
        if (!session.flush() || !initial.flush() || !expected.flush()) {
            throw std::runtime_error("could not write the scenario files to the end");
        }
    } catch (const std::invalid_argument& error) {
        return Usage(error.what());
    } catch (const std::exception& error) {
        std::cerr << "qvx_soak_scenario: " << error.what() << '\n';
        return 1;
    }
    return 0;
}

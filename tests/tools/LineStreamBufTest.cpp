// Whole lines from several threads writing at once, as WebSocket++ and the host do.
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tools/plexar-sim/LineStreamBuf.h"

namespace plexarsim {
namespace {

TEST(LineStreamBuf, LinesWrittenPieceByPieceByTwoThreadsNeverTear)
{
    std::vector<std::string> lines;
    {
        LineStreamBuf buffer([&](const std::string& line) { lines.push_back(line); });
        std::ostream stream(&buffer);
        const auto write = [&stream](char mark) {
            for (int i = 0; i < 200; ++i) {
                stream << mark << mark << ' ' << i << ' ' << mark << '\n';
            }
        };
        std::thread other(write, 'b');
        write('a');
        other.join();
        stream << "unfinished";
    }
    ASSERT_EQ(lines.size(), 401u);
    for (const auto& line : lines) {
        if (line == "unfinished") {
            continue;
        }
        // std::regex: GoogleTest's own regular expressions on Windows have no groups or classes.
        ASSERT_TRUE(std::regex_match(line, std::regex("(aa [0-9]+ a|bb [0-9]+ b)"))) << line;
    }
    EXPECT_EQ(lines.back(), "unfinished");
}

}  // namespace
}  // namespace plexarsim

#include <chrono>
#include <sstream>

#include <gtest/gtest.h>

#include "tools/plexar-sim/JournalPrinter.h"

namespace plexarsim {
namespace {

using Kind = sim::JournalEntry::Kind;
using std::chrono::milliseconds;

class JournalPrinterTest : public ::testing::Test {
protected:
    sim::JournalEntry At(milliseconds sinceStart, Kind kind, std::string text)
    {
        return {start_ + sinceStart, kind, std::move(text), {}};
    }

    const sim::Clock::time_point start_ = sim::Clock::now();
    std::ostringstream output_;
    std::ostringstream consoleLog_;
};

TEST_F(JournalPrinterTest, StampsEachEntryWithSecondsSinceStart)
{
    JournalPrinter printer(start_, output_, nullptr);
    printer.Print(At(milliseconds(5003), Kind::Console, "Plugin loaded!"));
    printer.Print(At(milliseconds(12345678), Kind::Toast, "toast: quorvex.com: Synced"));

    EXPECT_EQ(output_.str(),
              "[   5.003] Plugin loaded!\n"
              "[12345.678] toast: quorvex.com: Synced\n");
}

TEST_F(JournalPrinterTest, IndentsContinuationLinesUnderTheText)
{
    JournalPrinter printer(start_, output_, nullptr);
    printer.Print(At(milliseconds(250), Kind::HttpRequest, "POST https://x\n{\n  \"a\": 1\n}"));

    EXPECT_EQ(output_.str(),
              "[   0.250] POST https://x\n"
              "           {\n"
              "             \"a\": 1\n"
              "           }\n");
}

TEST_F(JournalPrinterTest, ConsoleLogGetsOnlyConsoleLinesExactlyAsLogged)
{
    JournalPrinter printer(start_, output_, &consoleLog_);
    printer.Print(At(milliseconds(1), Kind::Console, "Plugin loaded!"));
    printer.Print(At(milliseconds(2), Kind::Toast, "a toast"));
    printer.Print(At(milliseconds(3), Kind::HttpResponse, "200 {}"));
    printer.Print(At(milliseconds(4), Kind::Console, "  [Quorvex] two\nlines  "));

    EXPECT_EQ(consoleLog_.str(), "Plugin loaded!\n  [Quorvex] two\nlines  \n");
}

}  // namespace
}  // namespace plexarsim

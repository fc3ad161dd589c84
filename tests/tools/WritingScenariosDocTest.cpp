// tools/plexar-sim/WRITING-SCENARIOS.md names the plug-in's toast texts, its warning dialog, the
// linking reply and the playlists it does not report: each as the code has it.
#include <fstream>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "api/Texts.h"
#include "inventory/Texts.h"
#include "plugin/Texts.h"
#include "sync/StatsSync.h"
#include "sync/Texts.h"
#include "trade/Texts.h"

namespace {

std::string Page()
{
    std::ifstream file(QVX_WRITING_SCENARIOS_PAGE);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A failure toast's text up to its first line break, the status filled in as the page writes it.
std::string FailureToastAsShown(const char* format)
{
    const std::string toast = fmt::format(fmt::runtime(format), "STATUS", "");
    return toast.substr(0, toast.find('\n'));
}

TEST(WritingScenariosPage, NamesEveryToastTheDialogAndTheReplyAsTheCodeHasThem)
{
    using namespace quorvex::texts;
    const std::string page = Page();
    ASSERT_FALSE(page.empty()) << QVX_WRITING_SCENARIOS_PAGE;
    const std::string body = plugin::ScammerModalBody;
    for (const std::string& text :
         {std::string(plugin::UserCodeSetToast), std::string(plugin::OtherAccountToast),
          std::string(plugin::UserCodeForSessionToast), std::string(plugin::OtherAccountForSessionToast),
          std::string(inventory::SyncedToast), std::string(inventory::ToggledOnToast),
          std::string(inventory::ToggledOffToast), std::string(sync::LoadoutSyncedToast),
          std::string(sync::StatsRequestedToast), std::string(trade::TradeLoggedText),
          std::string(trade::PartnerNotBannedToast), std::string(trade::PartnerNotLinkedToast),
          std::string(trade::PartnerScammerToast), std::string(trade::PartnerBannedToast), std::string(api::RefusedText),
          FailureToastAsShown(inventory::SyncResponse.failureToast),
          FailureToastAsShown(inventory::ToggleResponse.failureToast),
          FailureToastAsShown(sync::LoadoutResponse.failureToast), FailureToastAsShown(sync::StatsResponse.failureToast),
          std::string(plugin::ScammerModalTitle), std::string(plugin::ScammerModalButton),
          body.substr(0, body.find('\n')), body.substr(body.find('\n') + 1)}) {
        EXPECT_NE(page.find("`" + text + "`"), std::string::npos) << "the page lacks `" << text << "`";
    }
    EXPECT_NE(page.find(fmt::format("replies with the\ntext `{}`", plugin::UserCodeReply)), std::string::npos);
}

TEST(WritingScenariosPage, ListsThePlaylistsThatAreNotReported)
{
    const auto& ids = quorvex::StatsSync::NonPublicPlaylistIds;
    EXPECT_NE(Page().find(fmt::format("| {} | no |", fmt::join(ids.begin(), ids.end(), ", "))), std::string::npos);
}

}  // namespace

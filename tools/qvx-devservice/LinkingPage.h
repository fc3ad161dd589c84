#pragma once
// The HTML the service serves at /sync: the account-linking page, whose script hands the user
// code to the plug-in's WebSocket server on ws://127.0.0.1:9100 and shows "Linked" once the
// plug-in answers "OK", or why not; and a plain notice page for refusals.
//
// Threads: pure functions, safe on any thread.
#include <string>

namespace qvxdev {

// code may be any text: it is escaped for the HTML around it and for the script it sits in.
std::string RenderLinkingPage(const std::string& code);

std::string RenderNoticePage(const std::string& title, const std::string& text);

}  // namespace qvxdev

#pragma once
// The HTML the service serves at /sync: the account-linking page and a plain notice page for
// refusals. The linking page does nothing by itself: only when the player presses its button
// does it show the user code, hand it to the plug-in's WebSocket server on ws://127.0.0.1:9100
// and show "Linked" once the plug-in answers "OK", or why not. So a page that opens or links to
// /sync?code=... cannot link the player's game to another account unseen; the page's policy
// also forbids framing it and allows only its own script and style (marked with a nonce drawn
// afresh for every page) and the one WebSocket address.
//
// Threads: safe on any thread.
#include <string>

namespace qvxdev {

struct HtmlPage {
    std::string html;
    std::string securityPolicy;  // the Content-Security-Policy header to send with it
};

// code may be any text: it is escaped for the HTML around it and for the script it sits in.
HtmlPage RenderLinkingPage(const std::string& code);

HtmlPage RenderNoticePage(const std::string& title, const std::string& text);

}  // namespace qvxdev

#include "tools/qvx-devservice/LinkingPage.h"

#include <random>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qvxdev {
namespace {

constexpr const char* PageStart = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style nonce="{nonce}">
body {{ font-family: sans-serif; max-width: 40em; margin: 3em auto; padding: 0 1em; }}
#status {{ font-size: 1.4em; font-weight: bold; }}
.ok {{ color: #1a7f37; }}
.fail {{ color: #b42318; }}
</style>
</head>
<body>
<h1>{title}</h1>
)html";

// The page's script. It reads the code from a JSON string literal, so no text of the code can
// end the script or run as code.
constexpr const char* LinkingScript = R"html(<p>Keep Skyvolt running with the Quorvex plug-in loaded, then press the button: this page
hands your user code to the plug-in through ws://127.0.0.1:9100.</p>
<p><button id="link" type="button">Link Skyvolt</button></p>
<p id="code" hidden>User code: <code>{code}</code></p>
<p id="status"></p>
<script nonce="{nonce}">
(function () {{
  "use strict";
  const userCode = {codeLiteral};
  const status = document.getElementById("status");
  const button = document.getElementById("link");
  function show(text, kind) {{
    status.textContent = text;
    status.className = kind || "";
    button.hidden = kind !== "fail";
    button.textContent = "Try again";
  }}
  function link() {{
    show("Connecting to the plug-in\u2026");
    let settled = false;
    const settle = function (text, kind) {{
      if (!settled) {{ settled = true; show(text, kind); }}
    }};
    let socket;
    try {{
      socket = new WebSocket("ws://127.0.0.1:9100");
    }} catch (error) {{
      settle("Not linked: " + error.message, "fail");
      return;
    }}
    const timer = setTimeout(function () {{
      settle("Not linked: the plug-in did not answer. It ignores user codes it cannot use; " +
             "see the game's console.", "fail");
      socket.close();
    }}, 5000);
    socket.onopen = function () {{
      show("Sending the user code\u2026");
      socket.send(JSON.stringify({{UserCode: userCode}}));
    }};
    socket.onmessage = function (event) {{
      clearTimeout(timer);
      if (event.data === "OK") {{
        settle("Linked", "ok");
      }} else {{
        settle("Not linked: the plug-in answered " + JSON.stringify(String(event.data)), "fail");
      }}
      socket.close();
    }};
    socket.onerror = function () {{
      clearTimeout(timer);
      settle("Not linked: cannot reach the plug-in on ws://127.0.0.1:9100. " +
             "Is Skyvolt running with Quorvex loaded?", "fail");
    }};
    socket.onclose = function (event) {{
      clearTimeout(timer);
      settle("Not linked: the plug-in closed the connection (" + event.code + ").", "fail");
    }};
  }}
  // Only the player's own press links: a script cannot press for them.
  button.addEventListener("click", function (event) {{
    if (event.isTrusted) {{
      document.getElementById("code").hidden = false;
      link();
    }}
  }});
}})();
</script>
</body>
</html>
)html";

std::string EscapeHtml(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// A JavaScript string literal holding text, safe inside a <script> element: JSON with every
// non-ASCII character escaped (which covers U+2028 and U+2029) and with <, > and & written as
// \u escapes so that neither "</script>" nor "<!--" can appear.
std::string ScriptStringLiteral(const std::string& text)
{
    const std::string json = nlohmann::json(text).dump(-1, ' ', true,
                                                       nlohmann::json::error_handler_t::replace);
    std::string literal;
    literal.reserve(json.size());
    for (const char c : json) {
        switch (c) {
        case '<': literal += "\\u003c"; break;
        case '>': literal += "\\u003e"; break;
        case '&': literal += "\\u0026"; break;
        default: literal += c;
        }
    }
    return literal;
}

// 128 random bits as hex: the nonce that marks the page's own script and style.
std::string Nonce()
{
    std::random_device random;
    return fmt::format("{:08x}{:08x}{:08x}{:08x}", random(), random(), random(), random());
}

std::string SecurityPolicy(const std::string& nonce)
{
    return fmt::format("default-src 'none'; script-src 'nonce-{0}'; style-src 'nonce-{0}'; "
                       "connect-src ws://127.0.0.1:9100; base-uri 'none'; form-action 'none'; "
                       "frame-ancestors 'none'",
                       nonce);
}

std::string PageHead(const std::string& title, const std::string& nonce)
{
    return fmt::format(PageStart, fmt::arg("title", EscapeHtml(title)), fmt::arg("nonce", nonce));
}

}  // namespace

HtmlPage RenderLinkingPage(const std::string& code)
{
    const std::string nonce = Nonce();
    return {PageHead("Link your Skyvolt account to Quorvex", nonce) +
                fmt::format(LinkingScript, fmt::arg("code", EscapeHtml(code)),
                            fmt::arg("codeLiteral", ScriptStringLiteral(code)),
                            fmt::arg("nonce", nonce)),
            SecurityPolicy(nonce)};
}

HtmlPage RenderNoticePage(const std::string& title, const std::string& text)
{
    const std::string nonce = Nonce();
    return {PageHead(title, nonce) + "<p>" + EscapeHtml(text) + "</p>\n</body>\n</html>\n",
            SecurityPolicy(nonce)};
}

}  // namespace qvxdev

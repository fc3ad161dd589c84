#pragma once
// Text from outside the plug-in (the service's answers, the network, files) made safe before it
// is logged or shown: control characters become visible escapes, so such a text can neither
// forge console lines nor scramble them, and a long text is cut with its size appended. Ordinary
// text (printable UTF-8, short) comes out unchanged.
//
// Threads: pure functions, callable from any thread.
#include <cstddef>
#include <string>
#include <string_view>

namespace quorvex {

// How much of a text from outside a console line or a toast shows.
constexpr std::size_t ConsoleTextLimit = 4 * 1024;
constexpr std::size_t ToastTextLimit = 512;
// A service answer body over this size is not kept at all: the answer is handled by its status.
constexpr std::size_t MaxKeptBodyBytes = 16 * 1024 * 1024;

// Control characters as escapes ("\n", "\r", "\t", "\x1b", and "\u009b" for the C1 controls),
// as are bytes that are not UTF-8 ("\xff"). A backslash stays as it is, so ordinary text keeps
// its look. With keepLineBreaks, "\n" passes: for whole lines whose breaks are the plug-in's own.
std::string EscapeControls(std::string_view text, bool keepLineBreaks = false);

// EscapeControls, cut to at most `limit` bytes (never inside an escape or a character) followed
// by "… (N bytes)" with the size of the whole text, when the escaped text is longer.
std::string SafeText(std::string_view text, std::size_t limit);

// SafeText for a console line (ConsoleTextLimit) and for a toast (ToastTextLimit).
std::string ConsoleText(std::string_view text);
std::string ToastText(std::string_view text);

// The body, or an empty text when it is over MaxKeptBodyBytes.
const std::string& KeptBody(const std::string& body);

}  // namespace quorvex

#pragma once
// Reading a cvar's text as a number or a switch, the way the host reads its cvars: the previous
// value reaches a value-changed callback only as text, so the plug-in reads it itself.
//
// A text that starts with "(", ends with ")" and holds a "," is a list of bound pairs
// "(low,high,low,high...)": one pair is picked at random and the result is a random value
// within it. Any other text gives its leading decimal number (after blanks and a sign), or 0
// when it has none or the number does not fit a float.
//
// Threads: pure functions (the range lists draw from std::rand), callable from any thread.
#include <string>

namespace quorvex {

float CvarTextToNumber(const std::string& text);
// On when the text reads as at least 0.5: "1" and "0.7" are on, "0", "" and "true" off.
bool CvarTextToBool(const std::string& text);

}  // namespace quorvex

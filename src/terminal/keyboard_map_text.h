// The text form of keyboard maps, which people write and `vorlex kbd` turns
// into the 1,806-byte file and back. One statement a line; '#' starts a
// comment outside quotes:
//
//   rows 24                      the five settings, each a number 0..65535:
//   columns 80                   rows (1..100) and columns (1..88) default to
//   strip-eighth-bit 0           24 and 80, the other three to 0
//   destructive-backspace 1
//   auto-wrap 1
//   Up normal "^[[A" [echo]      KEY MODIFIER "STRING" [echo]
//
// KEY is a name of mapKeyName (case ignored), MODIFIER normal, shift or ctrl.
// STRING is sent in caret notation (^[ is ESC, ^M a carriage return; see
// Func112), at most 12 bytes; \" \\ and \xHH (not 00) write other bytes.
// "echo" shows the string locally when the terminal echoes; F1..F12 and
// Escape take no echo. Keys and modifiers not named send nothing.
#pragma once

#include "terminal/keyboard_map.h"

#include <string>

namespace vorlex {

// Builds a map from its text form; on failure map is unspecified and error
// says "line N: why".
bool parseKeyboardMapText(const std::string &text, KeyboardMap &map, std::string &error);

// The text form of a map: its five settings and every key string that is set
// or carries an echo flag. Bytes the map does not use are not kept.
std::string formatKeyboardMapText(const KeyboardMap &map);

} // namespace vorlex

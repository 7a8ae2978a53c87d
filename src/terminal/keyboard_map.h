// The keyboard map: the 1,806-byte image of a ".kbd" file that the terminal
// keeps, its loading and checking, and the translation of key messages into
// what goes out through the port. Nothing here touches a window or a port:
// the client window's key handler, Func088 and Func036 act on the results.
#pragma once

#include <windows.h>

#include <cstddef>

namespace vorlex {

constexpr size_t kKeyboardMapSize = 1806;
constexpr size_t kKeyStringField = 13;   // a key string's field in the file
constexpr size_t kKeyStringMax = 12;     // characters a key string may hold
constexpr size_t kKeyboardFileNameSize = 256;
constexpr char kKeyboardMagic[6] = {'V', 'o', 'r', 'l', 'e', 'x'};

// The file's bytes as they stand; read and written through the functions below.
struct KeyboardMap {
    BYTE image[kKeyboardMapSize];
};
static_assert(sizeof(KeyboardMap) == kKeyboardMapSize);

// The 16-bit settings that ride in the map (byte offsets in the image).
enum class MapWord : size_t {
    screenRows = 1784,
    screenColumns = 1786,
    stripEighthBit = 1790,
    destructiveBackspace = 1792,
    autoWrap = 1796,
};

// The keys a map holds strings for, in the file's order. The keypad group is
// the numeric keypad's navigation keys (not extended) and its Enter key (an
// extended Return); the cursor group is the separate block of extended keys.
enum class MapKey : int {
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
    KeypadPgUp, KeypadPgDn, KeypadEnd, KeypadHome, KeypadLeft, KeypadUp, KeypadRight, KeypadDown,
    KeypadInsert, KeypadDelete, KeypadEnter,
    PgUp, PgDn, End, Home, Left, Up, Right, Down, Insert, Delete,
    Escape, Return, Tab, Backspace,
};
constexpr int kMapKeyCount = 37;

enum class KeyModifier : int { normal = 0, shift = 1, ctrl = 2 };

// Func088's results for a load.
enum : LONG { kKeyboardLoaded = 0, kKeyboardUnreadable = 2, kKeyboardInvalid = 3 };

// What checkKeyboardMap finds wrong with an image.
enum class MapProblem { none, magic, screenRows, screenColumns };

// --- the image -----------------------------------------------------------

// Offset of a key's string field for a modifier.
size_t keyStringOffset(MapKey key, KeyModifier modifier);
// Offset of a key's echo flag for a modifier, or -1 for keys without one (F1..F12, Escape).
long echoFlagOffset(MapKey key, KeyModifier modifier);
// Copies a key string into out, NUL-terminated; a field without a NUL gives its first 12 characters.
void keyString(const KeyboardMap &map, MapKey key, KeyModifier modifier, char (&out)[kKeyStringField]);
// Stores a key string (the rest of the field zeroed); false, changing nothing, when longer than 12 characters.
bool setKeyString(KeyboardMap &map, MapKey key, KeyModifier modifier, const char *text);
// Whether the key's string for the modifier is also shown locally; false for keys without echo flags.
bool keyEcho(const KeyboardMap &map, MapKey key, KeyModifier modifier);
// Sets an echo flag (1 or 0); false for keys without echo flags.
bool setKeyEcho(KeyboardMap &map, MapKey key, KeyModifier modifier, bool echo);
// Reads and writes a 16-bit setting, little-endian.
WORD mapWord(const KeyboardMap &map, MapWord word);
void setMapWord(KeyboardMap &map, MapWord word, WORD value);
// An all-zero image that carries the magic, so that it loads.
void initKeyboardMap(KeyboardMap &map);
// The magic first, then rows in 1..100 and columns in 1..88 (the screen buffer's bounds).
MapProblem checkKeyboardMap(const KeyboardMap &map);

// The key's name as the text form of maps writes it ("F1", "KP-Up", "Return"), and back.
const char *mapKeyName(MapKey key);
bool mapKeyFromName(const char *name, MapKey &key);

// --- loading and the terminal type ---------------------------------------

// Reads a map file; map is written only when the result is kKeyboardLoaded.
// kKeyboardUnreadable: no path, not opened, or shorter than 1,806 bytes (a
// longer file is read to its 1,806th byte); kKeyboardInvalid: checkKeyboardMap failed.
LONG loadKeyboardMap(LPCSTR path, KeyboardMap &map);

// What Func088 does to a terminal record's fields: types 2..5 load the path
// first (nothing changes when that fails, and its result is returned); then
// the type is set and the upper-cased path, or " " when blank, becomes the
// file name (at most 255 characters). The caller's path is not written to.
LONG setTerminalType(LONG type, LPCSTR path, KeyboardMap &map, LONG &emulation,
                     char (&keyboardFileName)[kKeyboardFileNameSize]);

// Func036: the normal strings of Return and keypad Enter, each at most 12
// characters and a NUL; empty for types 0 and 1. A null buffer is skipped.
void enterKeyStrings(const KeyboardMap &map, LONG emulation, LPSTR returnText, LPSTR keypadEnterText);

// Whether a terminal type sends keys through its map (2..5) rather than DoorWay codes (0, 1).
inline bool typeUsesMap(LONG emulation) { return emulation != 0 && emulation != 1; }

// --- key translation -----------------------------------------------------

enum class KeyMessage { keyDown, sysKeyDown, help };

// One key message as the client window gets it, with the modifier state
// (GetKeyState of VK_SHIFT and VK_CONTROL) read at that moment.
struct KeyEvent {
    KeyMessage message;
    UINT virtualKey;   // wParam; ignored for help, which stands for F1
    LPARAM keyData;    // lParam: scan code in bits 16-23, extended key in bit 24
    bool shift;
    bool ctrl;
};

// The terminal's state that decides a key's fate.
struct KeyTerminal {
    const KeyboardMap &map;
    LONG emulation;
    bool doorWayMode;
    bool localEcho;
};

struct KeyAction {
    enum Kind {
        passOn,     // not handled: DefWindowProc (a hook answers 1)
        consumed,   // handled, nothing to send
        sendText,   // a mapped key: send text with Func112; echo it when echo is set
        sendBytes,  // DoorWay: send bytes one by one with Func120, never echoed
    } kind = passOn;
    char text[kKeyStringField] = {};  // the key string in caret notation (sendText)
    BYTE bytes[kKeyStringMax] = {};   // what reaches the line (sendText and sendBytes)
    int count = 0;
    bool echo = false;                // show text locally with echoKeyString
    bool dropChar = false;            // the character message of the same key is not to be sent
};

// What a key message does: the translation of mapped keys for types 2..5,
// DoorWay codes for types 0 and 1, and the pass-on cases of each message.
KeyAction translateKeyEvent(const KeyTerminal &terminal, const KeyEvent &event);

// The map's string for a mappable virtual key, Ctrl winning over Shift; sendText, or passOn
// when the key is not mappable or its string is empty.
KeyAction translateKey(const KeyboardMap &map, UINT virtualKey, LPARAM keyData, bool shift, bool ctrl,
                       bool localEcho);

// The DoorWay bytes of a key-down: NUL and the scan code (Ctrl moves the
// extended navigation keys' codes); consumed with nothing for other keys.
KeyAction doorWayKey(UINT virtualKey, LPARAM keyData, bool ctrl);

// The bytes Func112 sends for a caret-notation text; returns the count (at most max).
int decodeCaretText(const char *text, BYTE *out, int max);

} // namespace vorlex

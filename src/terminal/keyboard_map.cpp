// Keyboard map files and key translation.
#include "terminal/keyboard_map.h"

#include "services/text_utils.h"

#include <cstring>

namespace vorlex {
namespace {

constexpr size_t kKeyBytes = 3 * kKeyStringField; // normal, Shift, Ctrl

struct KeyGroup {
    MapKey first;
    int count;
    size_t strings;
    long echoes; // -1: the group has no echo flags
};

// The file's four groups of key strings, in file order.
constexpr KeyGroup kGroups[] = {
    {MapKey::F1, 12, 20, -1},
    {MapKey::KeypadPgUp, 11, 524, 1148},
    {MapKey::PgUp, 10, 1196, 1586},
    {MapKey::Escape, 4, 1616, 1772},
};

const KeyGroup &groupOf(MapKey key, int &index) {
    const int k = static_cast<int>(key);
    for (const KeyGroup &g : kGroups) {
        const int first = static_cast<int>(g.first);
        if (k >= first && k < first + g.count) {
            index = k - first;
            return g;
        }
    }
    index = 0;
    return kGroups[0];
}

const char *const kKeyNames[kMapKeyCount] = {
    "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
    "KP-PgUp", "KP-PgDn", "KP-End", "KP-Home", "KP-Left", "KP-Up", "KP-Right", "KP-Down",
    "KP-Insert", "KP-Delete", "KP-Enter",
    "PgUp", "PgDn", "End", "Home", "Left", "Up", "Right", "Down", "Insert", "Delete",
    "Escape", "Return", "Tab", "Backspace",
};

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool sameNoCase(const char *a, const char *b) {
    for (; *a && *b; a++, b++)
        if (upperAscii(*a) != upperAscii(*b)) return false;
    return *a == *b;
}

// The map key of a mappable virtual key, by where it sits on the keyboard.
bool mapKeyOf(UINT vk, bool extended, MapKey &key) {
    auto at = [&](MapKey first, int index) { key = static_cast<MapKey>(static_cast<int>(first) + index); };
    if (vk >= VK_F1 && vk <= VK_F12) at(MapKey::F1, int(vk - VK_F1));
    else if (vk == VK_ESCAPE) key = MapKey::Escape;
    else if (vk == VK_TAB) key = MapKey::Tab;
    else if (vk == VK_BACK) key = MapKey::Backspace;
    else if (vk == VK_RETURN) key = extended ? MapKey::KeypadEnter : MapKey::Return;
    else if ((vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE) {
        const int index = vk == VK_INSERT ? 8 : vk == VK_DELETE ? 9 : int(vk - VK_PRIOR);
        at(extended ? MapKey::PgUp : MapKey::KeypadPgUp, index);
    } else {
        return false;
    }
    return true;
}

bool isExtended(LPARAM keyData) { return (keyData >> 24) & 1; }
BYTE scanCode(LPARAM keyData) { return static_cast<BYTE>(keyData >> 16); }

KeyAction nulAndScanCode(BYTE code) {
    KeyAction a;
    a.kind = KeyAction::sendBytes;
    a.bytes[0] = 0;
    a.bytes[1] = code;
    a.count = 2;
    return a;
}

KeyAction consumedAction() {
    KeyAction a;
    a.kind = KeyAction::consumed;
    return a;
}

} // namespace

size_t keyStringOffset(MapKey key, KeyModifier modifier) {
    int index;
    const KeyGroup &g = groupOf(key, index);
    return g.strings + size_t(index) * kKeyBytes + size_t(modifier) * kKeyStringField;
}

long echoFlagOffset(MapKey key, KeyModifier modifier) {
    int index;
    const KeyGroup &g = groupOf(key, index);
    if (g.echoes < 0 || key == MapKey::Escape) return -1; // Escape's flags are never read
    return g.echoes + index * 3 + long(modifier);
}

void keyString(const KeyboardMap &map, MapKey key, KeyModifier modifier, char (&out)[kKeyStringField]) {
    const BYTE *field = map.image + keyStringOffset(key, modifier);
    size_t n = 0;
    while (n < kKeyStringMax && field[n]) n++;
    std::memcpy(out, field, n);
    out[n] = '\0';
}

bool setKeyString(KeyboardMap &map, MapKey key, KeyModifier modifier, const char *text) {
    const size_t n = text ? std::strlen(text) : 0;
    if (n > kKeyStringMax) return false;
    BYTE *field = map.image + keyStringOffset(key, modifier);
    std::memset(field, 0, kKeyStringField);
    if (n) std::memcpy(field, text, n);
    return true;
}

bool keyEcho(const KeyboardMap &map, MapKey key, KeyModifier modifier) {
    const long at = echoFlagOffset(key, modifier);
    return at >= 0 && map.image[at] != 0;
}

bool setKeyEcho(KeyboardMap &map, MapKey key, KeyModifier modifier, bool echo) {
    const long at = echoFlagOffset(key, modifier);
    if (at < 0) return false;
    map.image[at] = echo ? 1 : 0;
    return true;
}

WORD mapWord(const KeyboardMap &map, MapWord word) {
    const size_t at = static_cast<size_t>(word);
    return static_cast<WORD>(map.image[at] | (map.image[at + 1] << 8));
}

void setMapWord(KeyboardMap &map, MapWord word, WORD value) {
    const size_t at = static_cast<size_t>(word);
    map.image[at] = static_cast<BYTE>(value);
    map.image[at + 1] = static_cast<BYTE>(value >> 8);
}

void initKeyboardMap(KeyboardMap &map) {
    std::memset(map.image, 0, sizeof map.image);
    std::memcpy(map.image, kKeyboardMagic, sizeof kKeyboardMagic);
}

MapProblem checkKeyboardMap(const KeyboardMap &map) {
    if (std::memcmp(map.image, kKeyboardMagic, sizeof kKeyboardMagic) != 0) return MapProblem::magic;
    // The emulator addresses its 100 x 88 buffer through these: a map that
    // says more (or zero) would move the cursor outside it.
    const WORD rows = mapWord(map, MapWord::screenRows), columns = mapWord(map, MapWord::screenColumns);
    if (rows < 1 || rows > 100) return MapProblem::screenRows;
    if (columns < 1 || columns > 88) return MapProblem::screenColumns;
    return MapProblem::none;
}

const char *mapKeyName(MapKey key) {
    const int k = static_cast<int>(key);
    return k >= 0 && k < kMapKeyCount ? kKeyNames[k] : "?";
}

bool mapKeyFromName(const char *name, MapKey &key) {
    for (int k = 0; k < kMapKeyCount; k++)
        if (sameNoCase(name, kKeyNames[k])) {
            key = static_cast<MapKey>(k);
            return true;
        }
    return false;
}

LONG loadKeyboardMap(LPCSTR path, KeyboardMap &map) {
    if (!path || !*path) return kKeyboardUnreadable;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kKeyboardUnreadable;
    // Read into a copy: a short or foreign file leaves the terminal's map as it was.
    KeyboardMap loaded;
    DWORD have = 0;
    while (have < kKeyboardMapSize) {
        DWORD got = 0;
        if (!ReadFile(file, loaded.image + have, DWORD(kKeyboardMapSize - have), &got, nullptr) || got == 0) break;
        have += got;
    }
    CloseHandle(file);
    if (have < kKeyboardMapSize) return kKeyboardUnreadable;
    if (checkKeyboardMap(loaded) != MapProblem::none) return kKeyboardInvalid;
    map = loaded;
    return kKeyboardLoaded;
}

LONG setTerminalType(LONG type, LPCSTR path, KeyboardMap &map, LONG &emulation,
                     char (&keyboardFileName)[kKeyboardFileNameSize]) {
    if (typeUsesMap(type)) {
        const LONG r = loadKeyboardMap(path, map);
        if (r != kKeyboardLoaded) return r;
    }
    emulation = type;
    if (isBlankText(path)) {
        std::strcpy(keyboardFileName, " ");
    } else {
        // Upper-cased as a copy: the caller's path may be a constant.
        size_t n = 0;
        for (; path[n] && n < kKeyboardFileNameSize - 1; n++) keyboardFileName[n] = upperAscii(path[n]);
        keyboardFileName[n] = '\0';
    }
    return kKeyboardLoaded;
}

void enterKeyStrings(const KeyboardMap &map, LONG emulation, LPSTR returnText, LPSTR keypadEnterText) {
    char text[kKeyStringField] = {};
    if (returnText) {
        if (typeUsesMap(emulation)) keyString(map, MapKey::Return, KeyModifier::normal, text);
        std::memcpy(returnText, text, std::strlen(text) + 1);
    }
    if (keypadEnterText) {
        text[0] = '\0';
        if (typeUsesMap(emulation)) keyString(map, MapKey::KeypadEnter, KeyModifier::normal, text);
        std::memcpy(keypadEnterText, text, std::strlen(text) + 1);
    }
}

int decodeCaretText(const char *text, BYTE *out, int max) {
    int n = 0;
    for (const char *p = text; *p && n < max; p++) {
        BYTE b = static_cast<BYTE>(*p);
        if (*p == '^') {
            BYTE x = static_cast<BYTE>(*++p);
            if (x == 0) { // a closing caret sends NUL and ends the text
                out[n++] = 0;
                break;
            }
            if (x == '[') {
                b = p[1] == '<' ? 0x7F : 0x1B;
                if (p[1] == '<') p++;
            } else {
                if (x >= 0x61) x = static_cast<BYTE>(x - 0x20);
                if (x >= 0x41 && x <= 0x5B) x = static_cast<BYTE>(x - 0x40);
                b = x;
            }
        }
        out[n++] = b;
    }
    return n;
}

KeyAction translateKey(const KeyboardMap &map, UINT virtualKey, LPARAM keyData, bool shift, bool ctrl,
                       bool localEcho) {
    KeyAction a;
    MapKey key;
    if (!mapKeyOf(virtualKey, isExtended(keyData), key)) return a;
    const KeyModifier modifier = ctrl ? KeyModifier::ctrl : shift ? KeyModifier::shift : KeyModifier::normal;
    keyString(map, key, modifier, a.text);
    if (!a.text[0]) return a;
    a.kind = KeyAction::sendText;
    a.count = decodeCaretText(a.text, a.bytes, int(kKeyStringMax));
    a.echo = localEcho && keyEcho(map, key, modifier);
    return a;
}

KeyAction doorWayKey(UINT virtualKey, LPARAM keyData, bool ctrl) {
    BYTE code = scanCode(keyData);
    if (virtualKey >= VK_F1 && virtualKey <= VK_F10) return nulAndScanCode(code);
    // Other plain keys make characters, which WM_CHAR sends.
    if (!isExtended(keyData)) return consumedAction();
    if (ctrl) {
        static const BYTE kCtrlCodes[][2] = {{0x47, 0x77}, {0x49, 0x84}, {0x4B, 0x73},
                                             {0x4D, 0x74}, {0x4F, 0x75}, {0x51, 0x76}};
        for (const auto &c : kCtrlCodes)
            if (code == c[0]) {
                code = c[1];
                break;
            }
    }
    return nulAndScanCode(code);
}

KeyAction translateKeyEvent(const KeyTerminal &t, const KeyEvent &e) {
    const bool mapped = typeUsesMap(t.emulation);
    switch (e.message) {
    case KeyMessage::keyDown: {
        if (!mapped) return t.doorWayMode ? doorWayKey(e.virtualKey, e.keyData, e.ctrl) : KeyAction{};
        KeyAction a = translateKey(t.map, e.virtualKey, e.keyData, e.shift, e.ctrl, t.localEcho);
        // These keys also make a character message, which must not go out as well.
        const UINT vk = e.virtualKey;
        a.dropChar = a.kind == KeyAction::sendText &&
                     (vk == VK_BACK || vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE);
        return a;
    }
    case KeyMessage::sysKeyDown:
        if (e.virtualKey != VK_HELP && e.virtualKey != VK_F10) return KeyAction{};
        if (t.doorWayMode) return nulAndScanCode(scanCode(e.keyData));
        if (!mapped) return KeyAction{};
        return translateKey(t.map, e.virtualKey, e.keyData, e.shift, e.ctrl, t.localEcho);
    case KeyMessage::help:
        if (!mapped) return consumedAction(); // no help request goes further
        return translateKey(t.map, VK_F1, 0, e.shift, e.ctrl, t.localEcho);
    }
    return KeyAction{};
}

} // namespace vorlex

// Keyboard maps: the file layout, loading into a copy, the terminal type,
// and key messages translated into what goes out on the line.
#include "support.h"
#include "terminal/keyboard_map.h"
#include "terminal/keyboard_map_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace vorlex;
using testsupport::TempDir;

constexpr LPARAM kExtended = LPARAM(1) << 24;
LPARAM keyData(BYTE scan, bool extended = false) { return (LPARAM(scan) << 16) | (extended ? kExtended : 0); }

std::string bytesOf(const KeyAction &a) { return std::string(reinterpret_cast<const char *>(a.bytes), size_t(a.count)); }

void writeFile(const std::string &path, const void *data, size_t size) {
    std::ofstream(path, std::ios::binary).write(static_cast<const char *>(data), std::streamsize(size));
}

// A valid map with a few strings, built through the accessors.
KeyboardMap sampleMap() {
    KeyboardMap m;
    initKeyboardMap(m);
    setMapWord(m, MapWord::screenRows, 25);
    setMapWord(m, MapWord::screenColumns, 80);
    setKeyString(m, MapKey::Up, KeyModifier::normal, "^[[A");
    setKeyString(m, MapKey::KeypadUp, KeyModifier::normal, "^[Ox");
    setKeyString(m, MapKey::F5, KeyModifier::normal, "5");
    setKeyString(m, MapKey::F5, KeyModifier::shift, "S5");
    setKeyString(m, MapKey::F5, KeyModifier::ctrl, "C5");
    setKeyString(m, MapKey::F1, KeyModifier::normal, "^[OP");
    setKeyString(m, MapKey::F10, KeyModifier::normal, "ten");
    setKeyString(m, MapKey::Return, KeyModifier::normal, "^M");
    setKeyEcho(m, MapKey::Return, KeyModifier::normal, true);
    setKeyString(m, MapKey::KeypadEnter, KeyModifier::normal, "^[OM");
    setKeyString(m, MapKey::Backspace, KeyModifier::shift, "^[<");
    return m;
}

TEST(KeyboardMap, LayoutMatchesTheFile) {
    struct { MapKey key; KeyModifier mod; size_t string; long echo; } rows[] = {
        {MapKey::F1, KeyModifier::normal, 20, -1},
        {MapKey::F12, KeyModifier::ctrl, 20 + 11 * 39 + 26, -1},
        {MapKey::KeypadPgUp, KeyModifier::normal, 524, 1148},
        {MapKey::KeypadEnter, KeyModifier::shift, 524 + 10 * 39 + 13, 1148 + 30 + 1},
        {MapKey::PgUp, KeyModifier::normal, 1196, 1586},
        {MapKey::Up, KeyModifier::normal, 1196 + 5 * 39, 1586 + 15},
        {MapKey::Delete, KeyModifier::ctrl, 1196 + 9 * 39 + 26, 1586 + 27 + 2},
        {MapKey::Escape, KeyModifier::normal, 1616, -1},
        {MapKey::Return, KeyModifier::normal, 1616 + 39, 1772 + 3},
        {MapKey::Backspace, KeyModifier::ctrl, 1616 + 3 * 39 + 26, 1783},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(mapKeyName(r.key));
        EXPECT_EQ(keyStringOffset(r.key, r.mod), r.string);
        EXPECT_EQ(echoFlagOffset(r.key, r.mod), r.echo);
    }
    KeyboardMap m = sampleMap();
    setMapWord(m, MapWord::autoWrap, 0x0102);
    EXPECT_EQ(m.image[1796], 0x02);
    EXPECT_EQ(m.image[1797], 0x01);
    EXPECT_EQ(std::memcmp(m.image, "Vorlex", 6), 0);
}

TEST(KeyboardMap, KeyStringsStayInsideTheirField) {
    KeyboardMap m = sampleMap();
    EXPECT_FALSE(setKeyString(m, MapKey::Tab, KeyModifier::normal, "0123456789abc"));
    EXPECT_TRUE(setKeyString(m, MapKey::Tab, KeyModifier::normal, "0123456789ab"));
    // A file may fill every byte of a field and of its neighbours: the string
    // ends with the field, at 12 characters.
    std::memset(m.image + keyStringOffset(MapKey::Return, KeyModifier::normal), 'R', 39);
    std::memset(m.image + keyStringOffset(MapKey::KeypadEnter, KeyModifier::normal), 'K', 13);
    char text[kKeyStringField];
    keyString(m, MapKey::Return, KeyModifier::normal, text);
    EXPECT_STREQ(text, "RRRRRRRRRRRR");

    char ret[16], kp[16];
    std::memset(ret, '#', sizeof ret);
    std::memset(kp, '#', sizeof kp);
    enterKeyStrings(m, 2, ret, kp);
    EXPECT_STREQ(ret, "RRRRRRRRRRRR");
    EXPECT_STREQ(kp, "KKKKKKKKKKKK");
    EXPECT_EQ(ret[13], '#') << "no byte written past 12 characters and the NUL";
    enterKeyStrings(m, 1, ret, kp);
    EXPECT_STREQ(ret, "");
    EXPECT_STREQ(kp, "");
    enterKeyStrings(m, 2, nullptr, nullptr); // buffers not given: nothing to do

    KeyAction a = translateKey(m, VK_RETURN, 0, false, false, false);
    EXPECT_EQ(bytesOf(a), "RRRRRRRRRRRR");
}

TEST(KeyboardMap, LoadChecksAndLeavesTheMapOnFailure) {
    TempDir dir;
    const KeyboardMap good = sampleMap();
    KeyboardMap bad = good;
    bad.image[0] = 'v';
    KeyboardMap noRows = good, wide = good;
    setMapWord(noRows, MapWord::screenRows, 0);
    setMapWord(wide, MapWord::screenColumns, 89);
    std::string longer(reinterpret_cast<const char *>(good.image), kKeyboardMapSize);
    longer += "trailing bytes are not read";

    writeFile(dir.file("good.kbd"), good.image, kKeyboardMapSize);
    writeFile(dir.file("short.kbd"), good.image, kKeyboardMapSize - 1);
    writeFile(dir.file("magic.kbd"), bad.image, kKeyboardMapSize);
    writeFile(dir.file("rows.kbd"), noRows.image, kKeyboardMapSize);
    writeFile(dir.file("wide.kbd"), wide.image, kKeyboardMapSize);
    writeFile(dir.file("long.kbd"), longer.data(), longer.size());
    struct { std::string path; LONG result; } cases[] = {
        {dir.file("short.kbd"), kKeyboardUnreadable},
        {dir.file("missing.kbd"), kKeyboardUnreadable},
        {dir.path(), kKeyboardUnreadable},
        {"", kKeyboardUnreadable},
        {dir.file("magic.kbd"), kKeyboardInvalid},
        {dir.file("rows.kbd"), kKeyboardInvalid},
        {dir.file("wide.kbd"), kKeyboardInvalid},
        {dir.file("long.kbd"), kKeyboardLoaded},
        {dir.file("good.kbd"), kKeyboardLoaded},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        KeyboardMap m;
        std::memset(m.image, 0xAA, sizeof m.image);
        EXPECT_EQ(loadKeyboardMap(c.path.c_str(), m), c.result);
        if (c.result == kKeyboardLoaded) EXPECT_EQ(std::memcmp(m.image, good.image, kKeyboardMapSize), 0);
        else EXPECT_EQ(m.image[0], 0xAA) << "a failed load leaves the map alone";
    }
    KeyboardMap m;
    EXPECT_EQ(loadKeyboardMap(nullptr, m), kKeyboardUnreadable);
}

TEST(KeyboardMap, TerminalTypeAndFileName) {
    TempDir dir;
    const KeyboardMap good = sampleMap();
    writeFile(dir.file("good.kbd"), good.image, kKeyboardMapSize);
    writeFile(dir.file("short.kbd"), good.image, kKeyboardMapSize - 1);

    KeyboardMap map;
    initKeyboardMap(map);
    LONG emulation = 0;
    char name[kKeyboardFileNameSize] = "before";

    // Types 0 and 1 open nothing; the path is kept upper-cased, from a constant.
    static const char kConstantPath[] = "no/such/dir/any.kbd";
    EXPECT_EQ(setTerminalType(1, kConstantPath, map, emulation, name), kKeyboardLoaded);
    EXPECT_EQ(emulation, 1);
    EXPECT_STREQ(name, "NO/SUCH/DIR/ANY.KBD");
    EXPECT_STREQ(kConstantPath, "no/such/dir/any.kbd");
    EXPECT_EQ(mapWord(map, MapWord::screenRows), 0) << "types 0 and 1 keep the map";

    const std::string shortPath = dir.file("short.kbd");
    EXPECT_EQ(setTerminalType(2, shortPath.c_str(), map, emulation, name), kKeyboardUnreadable);
    EXPECT_EQ(emulation, 1);
    EXPECT_STREQ(name, "NO/SUCH/DIR/ANY.KBD");

    const std::string goodPath = dir.file("good.kbd");
    EXPECT_EQ(setTerminalType(3, goodPath.c_str(), map, emulation, name), kKeyboardLoaded);
    EXPECT_EQ(emulation, 3);
    EXPECT_EQ(mapWord(map, MapWord::screenRows), 25);
    std::string upper = goodPath;
    for (char &c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(name), upper);
    // The stored name is what the terminal dialog hands back: it must load
    // again, also where file names keep their case.
    initKeyboardMap(map);
    EXPECT_EQ(setTerminalType(4, std::string(name).c_str(), map, emulation, name), kKeyboardLoaded);
    EXPECT_EQ(mapWord(map, MapWord::screenRows), 25);

    for (const char *blank : {static_cast<const char *>(nullptr), "", " x"}) {
        EXPECT_EQ(setTerminalType(0, blank, map, emulation, name), kKeyboardLoaded);
        EXPECT_STREQ(name, " ");
    }
    const std::string huge(400, 'p');
    EXPECT_EQ(setTerminalType(0, huge.c_str(), map, emulation, name), kKeyboardLoaded);
    EXPECT_EQ(std::string(name), std::string(255, 'P'));
}

TEST(KeyboardMap, CaretNotation) {
    struct { const char *text; std::string bytes; } rows[] = {
        {"^c", "\x03"}, {"^a", "\x01"}, {"^[", "\x1b"}, {"^[<", "\x7f"}, {"^{", "\x1b"},
        {"^[[A", "\x1b[A"}, {"ab^", std::string("ab\0", 3)}, {"^1", "1"}, {"x^Mz", "x\rz"},
    };
    for (const auto &r : rows) {
        BYTE out[12];
        int n = decodeCaretText(r.text, out, 12);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out), size_t(n)), r.bytes) << r.text;
    }
}

// Key messages as the client window receives them, through the sample map.
TEST(KeyboardMap, Translation) {
    const KeyboardMap m = sampleMap();
    enum Expect { pass, nothing, text, bytes };
    struct Row {
        const char *what;
        LONG type;
        bool doorWay, localEcho;
        KeyEvent event;
        Expect kind;
        std::string out;
        bool echo, dropChar;
    };
    const KeyMessage down = KeyMessage::keyDown, sys = KeyMessage::sysKeyDown, help = KeyMessage::help;
    const Row rows[] = {
        {"cursor Up", 2, false, false, {down, VK_UP, keyData(0x48, true), false, false}, text, "\x1b[A", false, false},
        {"keypad Up", 2, false, false, {down, VK_UP, keyData(0x48), false, false}, text, "\x1bOx", false, false},
        {"keypad Up, Shift unmapped", 2, false, false, {down, VK_UP, keyData(0x48), true, false}, pass, "", false, false},
        {"Ctrl+Shift+F5", 5, false, false, {down, VK_F5, keyData(0x3F), true, true}, text, "C5", false, false},
        {"Shift+F5", 4, false, false, {down, VK_F5, keyData(0x3F), true, false}, text, "S5", false, false},
        {"Return", 2, false, true, {down, VK_RETURN, keyData(0x1C), false, false}, text, "\r", true, true},
        {"Return, no local echo", 2, false, false, {down, VK_RETURN, keyData(0x1C), false, false}, text, "\r", false, true},
        {"keypad Enter", 2, false, true, {down, VK_RETURN, keyData(0x1C, true), false, false}, text, "\x1bOM", false, true},
        {"Shift+Backspace", 3, false, true, {down, VK_BACK, keyData(0x0E), true, false}, text, "\x7f", false, true},
        {"unmapped Tab", 2, false, false, {down, VK_TAB, keyData(0x0F), false, false}, pass, "", false, false},
        {"letter", 2, false, false, {down, 'A', keyData(0x1E), false, false}, pass, "", false, false},
        {"IBM ANSI, no DoorWay", 0, false, false, {down, VK_F1, keyData(0x3B), false, false}, pass, "", false, false},
        {"DoorWay F1", 0, true, false, {down, VK_F1, keyData(0x3B), false, false}, bytes, std::string("\0\x3b", 2), false, false},
        {"DoorWay F10", 1, true, false, {down, VK_F10, keyData(0x44), false, false}, bytes, std::string("\0\x44", 2), false, false},
        {"DoorWay F11 makes nothing", 1, true, false, {down, VK_F11, keyData(0x57), false, false}, nothing, "", false, false},
        {"DoorWay letter a", 0, true, false, {down, 'A', keyData(0x1E), false, false}, nothing, "", false, false},
        {"DoorWay Right", 0, true, false, {down, VK_RIGHT, keyData(0x4D, true), false, false}, bytes, std::string("\0\x4d", 2), false, false},
        {"DoorWay Ctrl+Home", 0, true, false, {down, VK_HOME, keyData(0x47, true), false, true}, bytes, std::string("\0\x77", 2), false, false},
        {"DoorWay Ctrl+PgUp", 0, true, false, {down, VK_PRIOR, keyData(0x49, true), false, true}, bytes, std::string("\0\x84", 2), false, false},
        {"DoorWay Ctrl+PgDn", 1, true, false, {down, VK_NEXT, keyData(0x51, true), false, true}, bytes, std::string("\0\x76", 2), false, false},
        {"DoorWay Ctrl+Up stays", 1, true, false, {down, VK_UP, keyData(0x48, true), false, true}, bytes, std::string("\0\x48", 2), false, false},
        {"DoorWay does not apply to VT100", 2, true, false, {down, VK_F1, keyData(0x3B), false, false}, text, "\x1bOP", false, false},
        {"Alt+F10, VT100", 2, false, false, {sys, VK_F10, keyData(0x44), false, false}, text, "ten", false, false},
        {"Alt+F10, DoorWay on any type", 3, true, false, {sys, VK_F10, keyData(0x44), false, false}, bytes, std::string("\0\x44", 2), false, false},
        {"Alt+F10, TTY", 1, false, false, {sys, VK_F10, keyData(0x44), false, false}, pass, "", false, false},
        {"Alt+F4 goes on", 2, true, false, {sys, VK_F4, keyData(0x3E), false, false}, pass, "", false, false},
        {"Help key unmapped", 2, false, false, {sys, VK_HELP, 0, false, false}, pass, "", false, false},
        {"help request, TTY", 1, false, false, {help, 0, 0, false, false}, nothing, "", false, false},
        {"help request, VT100", 2, false, false, {help, 0, 0, false, false}, text, "\x1bOP", false, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        const KeyAction a = translateKeyEvent(KeyTerminal{m, r.type, r.doorWay, r.localEcho}, r.event);
        const KeyAction::Kind kinds[] = {KeyAction::passOn, KeyAction::consumed, KeyAction::sendText, KeyAction::sendBytes};
        EXPECT_EQ(a.kind, kinds[r.kind]);
        EXPECT_EQ(bytesOf(a), r.out);
        EXPECT_EQ(a.echo, r.echo);
        EXPECT_EQ(a.dropChar, r.dropChar);
        if (a.kind == KeyAction::sendText) {
            BYTE again[12];
            EXPECT_EQ(std::string(reinterpret_cast<char *>(again), size_t(decodeCaretText(a.text, again, 12))), r.out)
                << "the text handed to the sender says the same";
        }
    }
}

TEST(KeyboardMapText, RoundTripAndErrors) {
    const char *text =
        "# comment\n"
        "rows 25   # trailing comment\n"
        "auto-wrap 1\n"
        "up NORMAL \"^[[A\"\n"
        "Return normal \"^M\" echo\n"
        "KP-Enter ctrl \"\" echo\n"
        "F2 shift \"q\\\"\\\\\\x01\\xFF\"\n";
    KeyboardMap m;
    std::string error;
    ASSERT_TRUE(parseKeyboardMapText(text, m, error)) << error;
    EXPECT_EQ(mapWord(m, MapWord::screenRows), 25);
    EXPECT_EQ(mapWord(m, MapWord::screenColumns), 80) << "columns default";
    EXPECT_EQ(mapWord(m, MapWord::autoWrap), 1);
    char s[kKeyStringField];
    keyString(m, MapKey::F2, KeyModifier::shift, s);
    EXPECT_STREQ(s, "q\"\\\x01\xff");
    EXPECT_TRUE(keyEcho(m, MapKey::KeypadEnter, KeyModifier::ctrl));
    EXPECT_TRUE(keyEcho(m, MapKey::Return, KeyModifier::normal));
    EXPECT_FALSE(keyEcho(m, MapKey::Return, KeyModifier::shift));

    KeyboardMap again;
    ASSERT_TRUE(parseKeyboardMapText(formatKeyboardMapText(m), again, error)) << error;
    EXPECT_EQ(std::memcmp(m.image, again.image, kKeyboardMapSize), 0);

    struct { const char *text; const char *error; } bad[] = {
        {"Up normal \"0123456789abc\"", "line 1: key string longer than 12 bytes"},
        {"\nF1 normal \"x\" echo", "line 2: F1 has no echo flag"},
        {"Escape normal \"^[\" echo", "line 1: Escape has no echo flag"},
        {"Up normal \"a\"\nup normal \"b\"", "line 2: Up normal is given twice"},
        {"Up alt \"a\"", "line 1: expected: KEY normal|shift|ctrl \"STRING\" [echo]"},
        {"Up normal a", "line 1: expected: KEY normal|shift|ctrl \"STRING\" [echo]"},
        {"Up normal \"a", "line 1: string without its closing quote"},
        {"Up normal \"\\x00\"", "line 1: \\x00 cannot be in a key string"},
        {"Numlock normal \"a\"", "line 1: unknown key or setting 'Numlock'"},
        {"rows 70000", "line 1: rows takes one number 0..65535"},
        {"rows 101", "rows must be 1..100"},
        {"columns 0", "columns must be 1..88"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(parseKeyboardMapText(b.text, m, error)) << b.text;
        EXPECT_EQ(error, b.error) << b.text;
    }
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shipped VT100 map: its .kbd is its text compiled, and it loads and
// sends what a VT100 sends.
TEST(ShippedMaps, Vt100) {
    const std::string dir = VORLEX_KEYMAP_DIR;
    KeyboardMap compiled;
    std::string error;
    ASSERT_TRUE(parseKeyboardMapText(readFile(dir + "/vt100.txt"), compiled, error)) << error;
    EXPECT_EQ(readFile(dir + "/vt100.kbd"), std::string(reinterpret_cast<char *>(compiled.image), kKeyboardMapSize))
        << "vt100.kbd is out of date: vorlex kbd compile vt100.txt vt100.kbd";

    KeyboardMap m;
    ASSERT_EQ(loadKeyboardMap((dir + "/vt100.kbd").c_str(), m), kKeyboardLoaded);
    EXPECT_EQ(mapWord(m, MapWord::screenRows), 24);
    EXPECT_EQ(mapWord(m, MapWord::screenColumns), 80);
    struct { UINT vk; bool extended, shift; std::string out; } keys[] = {
        {VK_UP, true, false, "\x1b[A"}, {VK_DOWN, true, false, "\x1b[B"},
        {VK_RIGHT, true, false, "\x1b[C"}, {VK_LEFT, true, false, "\x1b[D"},
        {VK_UP, true, true, "\x1bOA"},
        {VK_F1, false, false, "\x1bOP"}, {VK_F2, false, false, "\x1bOQ"},
        {VK_F3, false, false, "\x1bOR"}, {VK_F4, false, false, "\x1bOS"},
        {VK_HOME, false, false, "\x1bOw"}, {VK_UP, false, false, "\x1bOx"}, {VK_INSERT, false, false, "\x1bOp"},
        {VK_RETURN, false, false, "\r"}, {VK_RETURN, true, false, "\x1bOM"},
        {VK_BACK, false, false, "\x08"}, {VK_DELETE, true, false, "\x7f"}, {VK_TAB, false, false, "\t"},
    };
    for (const auto &k : keys) {
        const KeyAction a =
            translateKeyEvent(KeyTerminal{m, 2, false, true}, {KeyMessage::keyDown, k.vk, k.extended ? kExtended : 0, k.shift, false});
        EXPECT_EQ(a.kind, KeyAction::sendText) << k.vk;
        EXPECT_EQ(bytesOf(a), k.out) << k.vk;
    }
    char ret[kKeyStringField], kp[kKeyStringField];
    enterKeyStrings(m, 2, ret, kp);
    EXPECT_STREQ(ret, "^M");
    EXPECT_STREQ(kp, "^[OM");
}

} // namespace

// Keyboard maps as text: parsing and writing.
#include "terminal/keyboard_map_text.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace vorlex {
namespace {

struct WordName {
    const char *name;
    MapWord word;
};

const WordName kWords[] = {
    {"rows", MapWord::screenRows},
    {"columns", MapWord::screenColumns},
    {"strip-eighth-bit", MapWord::stripEighthBit},
    {"destructive-backspace", MapWord::destructiveBackspace},
    {"auto-wrap", MapWord::autoWrap},
};

const char *const kModifierNames[] = {"normal", "shift", "ctrl"};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a line into words; a quoted word keeps its quotes' content decoded
// and is marked quoted. Returns false with why on a malformed quote.
struct Word {
    std::string text;
    bool quoted = false;
};

bool splitLine(const std::string &line, std::vector<Word> &words, std::string &why) {
    size_t i = 0;
    while (i < line.size()) {
        if (isSpace(line[i])) {
            i++;
            continue;
        }
        if (line[i] == '#') break;
        Word w;
        if (line[i] == '"') {
            w.quoted = true;
            for (i++;; i++) {
                if (i >= line.size()) {
                    why = "string without its closing quote";
                    return false;
                }
                char c = line[i];
                if (c == '"') break;
                if (c == '\\') {
                    char e = i + 1 < line.size() ? line[i + 1] : '\0';
                    if (e == '\\' || e == '"') {
                        w.text += e;
                        i++;
                    } else if (e == 'x' && i + 3 < line.size() && hexDigit(line[i + 2]) >= 0 &&
                               hexDigit(line[i + 3]) >= 0) {
                        char b = static_cast<char>(hexDigit(line[i + 2]) * 16 + hexDigit(line[i + 3]));
                        if (!b) {
                            why = "\\x00 cannot be in a key string";
                            return false;
                        }
                        w.text += b;
                        i += 3;
                    } else {
                        why = "unknown escape in a string (use \\\\, \\\" or \\xHH)";
                        return false;
                    }
                } else {
                    w.text += c;
                }
            }
            i++;
            if (i < line.size() && !isSpace(line[i]) && line[i] != '#') {
                why = "text right after a string's closing quote";
                return false;
            }
        } else {
            while (i < line.size() && !isSpace(line[i]) && line[i] != '#') w.text += line[i++];
        }
        words.push_back(std::move(w));
    }
    return true;
}

bool parseNumber(const std::string &s, unsigned long max, unsigned long &value) {
    if (s.empty() || s.size() > 6) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    return value <= max;
}

bool lowerEquals(const std::string &a, const char *b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); i++) {
        char c = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
        if (c != b[i]) return false;
    }
    return true;
}

std::string quoted(const char *text) {
    std::string out = "\"";
    for (const char *p = text; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// One statement; false with why when it is not understood.
bool parseStatement(const std::vector<Word> &w, KeyboardMap &map, bool (&seen)[kMapKeyCount][3],
                    std::string &why) {
    for (const WordName &n : kWords) {
        if (w[0].quoted || !lowerEquals(w[0].text, n.name)) continue;
        unsigned long v;
        if (w.size() != 2 || w[1].quoted || !parseNumber(w[1].text, 0xFFFF, v)) {
            why = std::string(n.name) + " takes one number 0..65535";
            return false;
        }
        setMapWord(map, n.word, WORD(v));
        return true;
    }
    MapKey key;
    if (w[0].quoted || !mapKeyFromName(w[0].text.c_str(), key)) {
        why = "unknown key or setting '" + w[0].text + "'";
        return false;
    }
    int m = -1;
    if (w.size() >= 2 && !w[1].quoted)
        for (int i = 0; i < 3; i++)
            if (lowerEquals(w[1].text, kModifierNames[i])) m = i;
    if (m < 0 || w.size() < 3 || !w[2].quoted || w.size() > 4 ||
        (w.size() == 4 && (w[3].quoted || !lowerEquals(w[3].text, "echo")))) {
        why = "expected: KEY normal|shift|ctrl \"STRING\" [echo]";
        return false;
    }
    const KeyModifier modifier = static_cast<KeyModifier>(m);
    if (seen[int(key)][m]) {
        why = std::string(mapKeyName(key)) + " " + kModifierNames[m] + " is given twice";
        return false;
    }
    seen[int(key)][m] = true;
    if (!setKeyString(map, key, modifier, w[2].text.c_str())) {
        why = "key string longer than 12 bytes";
        return false;
    }
    if (w.size() == 4 && !setKeyEcho(map, key, modifier, true)) {
        why = std::string(mapKeyName(key)) + " has no echo flag";
        return false;
    }
    return true;
}

} // namespace

bool parseKeyboardMapText(const std::string &text, KeyboardMap &map, std::string &error) {
    initKeyboardMap(map);
    setMapWord(map, MapWord::screenRows, 24);
    setMapWord(map, MapWord::screenColumns, 80);
    bool seen[kMapKeyCount][3] = {};
    size_t start = 0;
    for (int lineNo = 1; start <= text.size(); lineNo++) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::vector<Word> words;
        std::string why;
        if (!splitLine(line, words, why) || (!words.empty() && !parseStatement(words, map, seen, why))) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
    }
    switch (checkKeyboardMap(map)) {
    case MapProblem::screenRows: error = "rows must be 1..100"; return false;
    case MapProblem::screenColumns: error = "columns must be 1..88"; return false;
    default: return true;
    }
}

std::string formatKeyboardMapText(const KeyboardMap &map) {
    std::string out = "# Vorlex keyboard map: KEY normal|shift|ctrl \"STRING\" [echo]\n";
    for (const WordName &n : kWords) out += std::string(n.name) + " " + std::to_string(mapWord(map, n.word)) + "\n";
    out += "\n";
    for (int k = 0; k < kMapKeyCount; k++) {
        const MapKey key = static_cast<MapKey>(k);
        for (int m = 0; m < 3; m++) {
            const KeyModifier modifier = static_cast<KeyModifier>(m);
            char text[kKeyStringField];
            keyString(map, key, modifier, text);
            const bool echo = keyEcho(map, key, modifier);
            if (!text[0] && !echo) continue;
            char head[32];
            std::snprintf(head, sizeof head, "%-10s %-6s ", mapKeyName(key), kModifierNames[m]);
            out += head + quoted(text) + (echo ? " echo" : "") + "\n";
        }
    }
    return out;
}

} // namespace vorlex

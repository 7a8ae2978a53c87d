// lstr functions, wsprintfA and FormatMessageA.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

TEST(Lstr, NullTolerantCopiesAndLengths) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA("four"), 4);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(lstrcpynA(buf, "hello", 3), buf);
    EXPECT_STREQ(buf, "he");
    EXPECT_EQ(buf[3], '#') << "nothing written past the limit";
    lstrcpynA(buf, "hello", 1);
    EXPECT_STREQ(buf, "");
    buf[0] = 'k';
    lstrcpynA(buf, "hello", 0);
    EXPECT_EQ(buf[0], 'k');
    EXPECT_EQ(lstrcpyA(buf, "ab"), buf);
    EXPECT_EQ(lstrcatA(buf, "cd"), buf);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);
    EXPECT_EQ(lstrcatA(buf, nullptr), nullptr);
    EXPECT_STREQ(buf, "abcd");
}

TEST(Lstr, ComparisonOrdersAsWindows) {
    EXPECT_LT(lstrcmpA("a", "B"), 0) << "letters alphabetically, not by code";
    EXPECT_LT(lstrcmpA("a", "A"), 0) << "lower case first when only case differs";
    EXPECT_GT(lstrcmpA("Ab", "aa"), 0);
    EXPECT_LT(lstrcmpA("ab", "abc"), 0);
    EXPECT_LT(lstrcmpA("_", "1"), 0) << "symbols before digits";
    EXPECT_LT(lstrcmpA("9", "a"), 0);
    EXPECT_EQ(lstrcmpA("same", "same"), 0);
    EXPECT_EQ(lstrcmpiA("HeLLo", "hello"), 0);
    EXPECT_LT(lstrcmpiA("apple", "BANANA"), 0);
    EXPECT_EQ(lstrcmpA(nullptr, nullptr), 0);
    EXPECT_LT(lstrcmpA(nullptr, ""), 0);
    EXPECT_GT(lstrcmpiA("", nullptr), 0);
}

std::string fmt(const char *format, ...) {
    char buf[1100];
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfA(buf, format, ap);
    va_end(ap);
    EXPECT_EQ(n, int(std::strlen(buf)));
    return buf;
}

TEST(Wsprintf, NumbersFlagsAndWidths) {
    EXPECT_EQ(fmt("%d|%i|%u", -5, 17, -1), "-5|17|4294967295");
    EXPECT_EQ(fmt("[%5d][%-5d][%05d]", 42, 42, -42), "[   42][42   ][-0042]");
    EXPECT_EQ(fmt("%010ld", LONG(-1)), "-000000001");
    EXPECT_EQ(fmt("%.3d|%.3u", 7, 7u), "007|007");
    EXPECT_EQ(fmt("%x|%X|%#x|%#X|%08lx", 255, 255, 255, 255, DWORD(0xBEEF)), "ff|FF|0xff|0XFF|0000beef");
    EXPECT_EQ(fmt("%lx|%lu|%ld", DWORD(0xDEADBEEF), DWORD(4000000000u), LONG(-2000000000)),
              "deadbeef|4000000000|-2000000000");
    EXPECT_EQ(fmt("%hd|%hu", 70000, 65537), "4464|1");
    EXPECT_EQ(fmt("%-3d|", 12345), "12345|") << "a width never truncates";
}

TEST(Wsprintf, CharactersStringsAndUnknownTypes) {
    EXPECT_EQ(fmt("%c%C%c", 'A', L'z', 'B'), "AzB");
    EXPECT_EQ(fmt("<%c>", 0), "<>") << "a zero character is left out";
    EXPECT_EQ(fmt("%s|%.2s|%-6s|%6s", "one", "hello", "ab", "ab"), "one|he|ab    |    ab");
    EXPECT_EQ(fmt("%s", static_cast<const char *>(nullptr)), "(null)");
    EXPECT_EQ(fmt("%S|%ls|%hs", L"wide", L"w2", "narrow"), "wide|w2|narrow");
    EXPECT_EQ(fmt("100%%"), "100%");
    EXPECT_EQ(fmt("%f%d", 5), "f5") << "unknown types print as themselves and take no argument";
    EXPECT_EQ(fmt("%5.1f|%d", 6), "f|6");
    EXPECT_EQ(fmt("end%"), "end");
}

TEST(Wsprintf, OutputStopsAt1024Bytes) {
    char buf[2048];
    std::memset(buf, 0x55, sizeof buf);
    std::string big(1500, 'q');
    int n = wsprintfA(buf, "%s%s", big.c_str(), "tail");
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(buf[1023], 0);
    EXPECT_EQ(std::strlen(buf), 1023u);
    for (int i = 1024; i < 2048; i++) ASSERT_EQ(buf[i], 0x55) << "byte " << i << " written";
    std::memset(buf, 0x55, sizeof buf);
    n = wsprintfA(buf, "%2000d", 1);
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(buf[1024], 0x55);
}

std::string message(DWORD flags, const char *source, DWORD id, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, id);
    DWORD n = FormatMessageA(flags, source, id, 0, buf, sizeof buf, &ap);
    va_end(ap);
    if (!n) return "!" + std::to_string(GetLastError());
    EXPECT_EQ(n, DWORD(std::strlen(buf)));
    return buf;
}

TEST(FormatMessage, SystemTexts) {
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND),
              "The system cannot find the file specified.\r\n");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED),
              "Access is denied.\r\n");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80070005u), "Access is denied.\r\n");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, ERROR_ACCESS_DENIED),
              "Access is denied. ");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x1234567), "!317");
    // A system text with an insert needs arguments or IGNORE_INSERTS.
    char buf[128];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, buf, sizeof buf, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BAD_EXE_FORMAT),
              "%1 is not a valid Win32 application.\r\n");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, "prog.exe"),
              "prog.exe is not a valid Win32 application.\r\n");
}

TEST(FormatMessage, InsertsFromAnArrayOrAVaList) {
    DWORD_PTR args[] = {42, reinterpret_cast<DWORD_PTR>("two"), 5, reinterpret_cast<DWORD_PTR>("ab")};
    char buf[128];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%2 %1!d! %1!04x!%%%n%3!*s!|",
                             0, 0, buf, sizeof buf, reinterpret_cast<va_list *>(args));
    EXPECT_STREQ(buf, "two 42 002a%\r\n   ab|");
    EXPECT_EQ(n, DWORD(std::strlen(buf)));

    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "%1-%2!u!-%3 again %1", 0, "a", 7u, "c"), "a-7-c again a");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "abc%0def", 0), "abc");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "%. %! %t|", 0), ". ! \t|");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "100%% %1 %n", 0), "100%% %1 \r\n");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "line one\nline two", 0), "line one\r\nline two");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING | 7, "aaa bbb ccc", 0), "aaa bbb\r\nccc") << "width 7";
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "trailing %", 0), "!87");
    EXPECT_EQ(message(FORMAT_MESSAGE_FROM_STRING, "%1!q!", 0, 1), "!87");

    n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "needs %1", 0, 0, buf, sizeof buf, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "inserts without arguments";
}

TEST(FormatMessage, BufferRules) {
    char small[10];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, small, sizeof small, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

    LPSTR text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(n, 44u);
    EXPECT_STREQ(text, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(LocalFree(text), nullptr) << "the buffer comes from LocalAlloc";

    text = reinterpret_cast<LPSTR>(1);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x7777777, 0,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(FormatMessageA(0, "x", 0, 0, small, sizeof small, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "no source";
}

} // namespace

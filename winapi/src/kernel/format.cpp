// wsprintfA and wvsprintfA: the Win32 format subset, written into at most
// 1024 bytes (1023 characters and the NUL), as Windows limits them.
//
// A conversion is %[-][#][0][width][.precision][l|h|w]type with the types
// c C d i u x X s S p; %% gives '%'. Integers are 32-bit (LONG and int
// alike), 16-bit with 'h'; a null string prints "(null)"; a character of
// value 0 prints nothing. '-' turns '0' off; '#' puts 0x or 0X before a
// hexadecimal number (outside the field width, as Windows renders it); a
// zero-padded negative number keeps its sign first. Any other character
// after '%' is printed as it is, without taking an argument. Wide characters
// are written as themselves below 256 and as '?' above.
#include "object.h"

#include <cstdint>
#include <cstring>

namespace {

class Output {
public:
    explicit Output(char *buf) : buf_(buf) {}
    static const size_t kMax = 1023;
    void put(char c) {
        if (len_ < kMax) buf_[len_++] = c;
    }
    void pad(size_t n, char c = ' ') {
        while (n-- > 0 && len_ < kMax) buf_[len_++] = c;
    }
    bool full() const { return len_ >= kMax; }
    int finish() {
        buf_[len_] = 0;
        return int(len_);
    }

private:
    char *buf_;
    size_t len_ = 0;
};

enum class Kind { Char, WideChar, String, WideString, Signed, Unsigned, Hex, Unknown };

struct Conversion {
    bool left = false, prefix = false, zero = false, upper = false, pointer = false, shortInt = false;
    unsigned width = 0, precision = 0;
    Kind kind = Kind::Unknown;
};

// Parses after the '%'; returns the characters used. An unknown type
// character is not used, so that it prints as itself.
size_t parse(const char *f, Conversion &s) {
    const char *p = f;
    if (*p == '-') s.left = true, p++;
    if (*p == '#') s.prefix = true, p++;
    if (*p == '0') s.zero = true, p++;
    auto number = [&p] {
        unsigned v = 0;
        for (; *p >= '0' && *p <= '9'; p++) v = v < 100000 ? v * 10 + unsigned(*p - '0') : v;
        return v;
    };
    s.width = number();
    if (*p == '.') {
        p++;
        s.precision = number();
    }
    const char size = (*p == 'l' || *p == 'h' || *p == 'w') ? *p++ : 0;
    s.shortInt = size == 'h';
    switch (*p) {
    case 'c': s.kind = size == 'l' ? Kind::WideChar : Kind::Char; break;
    case 'C': s.kind = size == 'h' ? Kind::Char : Kind::WideChar; break;
    case 'd':
    case 'i': s.kind = Kind::Signed; break;
    case 'u': s.kind = Kind::Unsigned; break;
    case 's': s.kind = (size == 'l' || size == 'w') ? Kind::WideString : Kind::String; break;
    case 'S': s.kind = (size == 'h' || size == 'w') ? Kind::String : Kind::WideString; break;
    case 'p':
        s.width = 2 * sizeof(void *);
        s.zero = true;
        s.pointer = true;
        s.upper = true;
        s.kind = Kind::Hex;
        break;
    case 'X': s.upper = true; s.kind = Kind::Hex; break;
    case 'x': s.kind = Kind::Hex; break;
    default: return size_t(p - f);
    }
    return size_t(p - f) + 1;
}

char narrow(wchar_t w) { return (uint32_t(w) < 256) ? char(w) : '?'; }

void padded(Output &out, const Conversion &s, size_t len, const auto &body) {
    size_t pad = s.width > len ? s.width - len : 0;
    if (!s.left) out.pad(pad);
    body();
    if (s.left) out.pad(pad);
}

void number(Output &out, Conversion s, uint64_t magnitude, bool negative) {
    char digits[24];
    const char *set = s.upper ? "0123456789ABCDEF" : "0123456789abcdef";
    const unsigned base = s.kind == Kind::Hex ? 16 : 10;
    size_t n = 0;
    do {
        digits[n++] = set[magnitude % base];
        magnitude /= base;
    } while (magnitude);
    // The sign counts as a digit when the precision is filled up.
    size_t len = n + (negative ? 1 : 0);
    size_t precision = s.precision > len ? s.precision : len;
    if (s.left) s.zero = false;
    if (s.zero && s.width > precision) precision = s.width;
    if (!s.left) out.pad(s.width > precision ? s.width - precision : 0);
    if (s.prefix && s.kind == Kind::Hex) {
        out.put('0');
        out.put(s.upper ? 'X' : 'x');
    }
    if (negative) out.put('-');
    out.pad(precision - len, '0');
    while (n) out.put(digits[--n]);
    if (s.left) out.pad(s.width > precision ? s.width - precision : 0);
}

int format(char *buf, const char *fmt, va_list ap) {
    Output out(buf);
    if (!fmt) return out.finish();
    const char *p = fmt;
    while (*p && !out.full()) {
        if (*p != '%') {
            out.put(*p++);
            continue;
        }
        p++;
        if (*p == '%') {
            out.put(*p++);
            continue;
        }
        Conversion s;
        p += parse(p, s);
        switch (s.kind) {
        case Kind::Char:
        case Kind::WideChar: {
            int v = va_arg(ap, int);
            char c = s.kind == Kind::Char ? char(v) : narrow(wchar_t(v));
            if (c) padded(out, s, 1, [&] { out.put(c); });
            break;
        }
        case Kind::String: {
            const char *str = va_arg(ap, const char *);
            if (!str) str = "(null)";
            size_t len = 0;
            while (str[len] && (!s.precision || len < s.precision)) len++;
            padded(out, s, len, [&] {
                for (size_t i = 0; i < len; i++) out.put(str[i]);
            });
            break;
        }
        case Kind::WideString: {
            const wchar_t *str = va_arg(ap, const wchar_t *);
            if (!str) str = L"(null)";
            size_t len = 0;
            while (str[len] && (!s.precision || len < s.precision)) len++;
            padded(out, s, len, [&] {
                for (size_t i = 0; i < len; i++) out.put(narrow(str[i]));
            });
            break;
        }
        case Kind::Signed: {
            int v = va_arg(ap, int);
            if (s.shortInt) v = short(v);
            number(out, s, v < 0 ? uint64_t(-int64_t(v)) : uint64_t(v), v < 0);
            break;
        }
        case Kind::Unsigned:
        case Kind::Hex:
            if (s.pointer) {
                number(out, s, uintptr_t(va_arg(ap, void *)), false);
            } else {
                unsigned v = va_arg(ap, unsigned);
                number(out, s, s.shortInt ? (unsigned short)v : v, false);
            }
            break;
        case Kind::Unknown: // the character itself, even a '%', which starts nothing here
            if (*p) out.put(*p++);
            break;
        }
    }
    return out.finish();
}

} // namespace

extern "C" {

int WINAPI wvsprintfA(LPSTR out, LPCSTR fmt, va_list args) {
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list copy;
    va_copy(copy, args);
    int n = format(out, fmt, copy);
    va_end(copy);
    return n;
}

int WINAPIV wsprintfA(LPSTR out, LPCSTR fmt, ...) {
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    int n = format(out, fmt, ap);
    va_end(ap);
    return n;
}

} // extern "C"

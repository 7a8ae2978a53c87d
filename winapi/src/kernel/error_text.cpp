// FormatMessageA: the system's texts for the common Win32 error numbers
// (also as HRESULTs of the form 0x8007xxxx), message strings with inserts
// %1..%99 (optionally with a printf format between '!'), the escapes %0 %n
// %r %t and %<other>, the line width of the flags' low byte, and output into
// the caller's buffer or a LocalAlloc buffer. Modules carry no message
// tables here, so FORMAT_MESSAGE_FROM_HMODULE finds nothing of its own.
// With a width of 1..254 lines are broken at the last blank before the
// width, or inside a word longer than it.
#include "object.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct SystemText {
    DWORD id;
    const char *text;
};

const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {10, "The environment is incorrect.\r\n"},
    {11, "An attempt was made to load a program with an incorrect format.\r\n"},
    {12, "The access code is invalid.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {16, "The directory cannot be removed.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {18, "There are no more files.\r\n"},
    {19, "The media is write protected.\r\n"},
    {20, "The system cannot find the device specified.\r\n"},
    {21, "The device is not ready.\r\n"},
    {22, "The device does not recognize the command.\r\n"},
    {23, "Data error (cyclic redundancy check).\r\n"},
    {25, "The drive cannot locate a specific area or track on the disk.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {55, "The specified network resource or device is no longer available.\r\n"},
    {80, "The file exists.\r\n"},
    {82, "The directory or file cannot be created.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {110, "The system cannot open the device or file specified.\r\n"},
    {111, "The file name is too long.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {121, "The semaphore timeout period has expired.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {157, "The segment is already discarded and cannot be locked.\r\n"},
    {158, "The segment is already unlocked.\r\n"},
    {160, "One or more arguments are not correct.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {203, "The system could not find the environment option that was entered.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {288, "Attempt to release mutex not owned by caller.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {996, "Overlapped I/O event is not in a signaled state.\r\n"},
    {997, "Overlapped I/O operation is in progress.\r\n"},
    {998, "Invalid access to memory location.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1117, "The request could not be performed because of an I/O device error.\r\n"},
    {1168, "Element not found.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1401, "Invalid menu handle.\r\n"},
    {1410, "Class already exists.\r\n"},
    {1411, "Class does not exist.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
};

const char *systemText(DWORD id) {
    if ((id & 0xFFFF0000u) == 0x80070000u) id &= 0xFFFF; // HRESULT_FROM_WIN32
    for (const SystemText &t : kSystemTexts)
        if (t.id == id) return t.text;
    return nullptr;
}

// The insert arguments: an array of DWORD_PTR, or a va_list read in order
// as far as the highest insert used so far.
class Arguments {
public:
    Arguments(bool isArray, va_list *args) : array_(isArray ? reinterpret_cast<const DWORD_PTR *>(args) : nullptr),
                                              list_(isArray ? nullptr : args) {}
    bool present() const { return array_ || list_; }
    ULONG_PTR get(int n) {
        if (array_) return array_[n - 1];
        while (int(cache_.size()) < n) cache_.push_back(va_arg(*list_, ULONG_PTR));
        return cache_[size_t(n - 1)];
    }

private:
    const DWORD_PTR *array_;
    va_list *list_;
    std::vector<ULONG_PTR> cache_;
};

std::string narrowWide(const wchar_t *w) {
    std::string s;
    for (; *w; w++) s += uint32_t(*w) < 256 ? char(*w) : '?';
    return s;
}

// One insert with a printf format ("!d!", "!-8s!", "!*.*lu!"); false when
// the format is not one. insert advances past arguments that '*' takes.
bool formatInsert(const char *&f, int &insert, Arguments &args, std::string &out) {
    std::string format = "%";
    while (*f && std::strchr("-+ #0", *f)) format += *f++;
    auto field = [&](void) -> bool {
        if (*f == '*') {
            format += std::to_string(int(args.get(insert++)));
            f++;
            return insert <= 99;
        }
        while (*f >= '0' && *f <= '9') format += *f++;
        return true;
    };
    if (!field()) return false;
    if (*f == '.') {
        format += *f++;
        if (!field()) return false;
    }
    enum { Int, Long64, Short, Wide, None } size = None;
    if (f[0] == 'I' && f[1] == '6' && f[2] == '4') size = Long64, f += 3;
    else if (f[0] == 'I' && f[1] == '3' && f[2] == '2') size = Int, f += 3;
    else if (f[0] == 'l' && f[1] == 'l') size = Long64, f += 2;
    else if (*f == 'l' || *f == 'w') size = Wide, f++;
    else if (*f == 'h') size = Short, f++;
    else if (*f == 'I') size = Long64, f++; // pointer-sized
    const char type = *f++;
    if (*f++ != '!') return false;
    const ULONG_PTR v = args.get(insert);
    char buf[512];
    std::string text;
    switch (type) {
    case 'd':
    case 'i':
        format += "lld";
        std::snprintf(buf, sizeof buf, format.c_str(),
                      size == Long64 ? (long long)(int64_t)v : size == Short ? (long long)(short)v : (long long)(int)v);
        text = buf;
        break;
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        format += "ll";
        format += type;
        std::snprintf(buf, sizeof buf, format.c_str(),
                      size == Long64 ? (unsigned long long)v
                      : size == Short ? (unsigned long long)(unsigned short)v
                                      : (unsigned long long)(unsigned)v);
        text = buf;
        break;
    case 'c':
    case 'C': {
        const bool wide = size == Short ? false : size == Wide ? true : type == 'C';
        char c = wide ? (uint32_t(v) < 256 ? char(v) : '?') : char(v);
        format += 'c';
        std::snprintf(buf, sizeof buf, format.c_str(), c);
        text = buf;
        break;
    }
    case 's':
    case 'S': {
        const bool wide = size == Short ? false : size == Wide ? true : type == 'S';
        std::string s = !v ? "(null)" : wide ? narrowWide(reinterpret_cast<const wchar_t *>(v))
                                              : std::string(reinterpret_cast<const char *>(v));
        format += 's';
        int n = std::snprintf(nullptr, 0, format.c_str(), s.c_str());
        if (n < 0) return false;
        text.resize(size_t(n) + 1);
        std::snprintf(text.data(), text.size(), format.c_str(), s.c_str());
        text.resize(size_t(n));
        break;
    }
    case 'p':
        format += 'p';
        std::snprintf(buf, sizeof buf, format.c_str(), reinterpret_cast<void *>(v));
        text = buf;
        break;
    default: return false;
    }
    out += text;
    return true;
}

// Expands a message; false (ERROR_INVALID_PARAMETER) for a malformed one or
// inserts without arguments.
bool expand(const char *f, DWORD flags, Arguments &args, std::string &out) {
    const bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
    const bool width = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0;
    while (*f) {
        if (*f == '\r' || *f == '\n') { // a line break of the message text
            if (*f == '\r' && f[1] == '\n') f++;
            f++;
            out += width ? " " : "\r\n";
            continue;
        }
        if (*f != '%') {
            out += *f++;
            continue;
        }
        f++;
        if (*f >= '1' && *f <= '9') {
            if (ignoreInserts) {
                out += '%';
                continue;
            }
            if (!args.present()) return false;
            int insert = *f++ - '0';
            if (*f >= '0' && *f <= '9') insert = insert * 10 + (*f++ - '0');
            if (*f == '!') {
                f++;
                if (!formatInsert(f, insert, args, out)) return false;
            } else {
                ULONG_PTR v = args.get(insert);
                out += v ? reinterpret_cast<const char *>(v) : "(null)";
            }
            continue;
        }
        switch (*f) {
        case 0: return false; // a lone '%' at the end
        case '0': return true; // ends the message, without a line break
        case 'n': out += "\r\n"; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default:
            if (ignoreInserts) out += '%';
            out += *f;
            break;
        }
        f++;
    }
    return true;
}

std::string wrap(const std::string &s, size_t width) {
    std::string out;
    size_t lineStart = 0, lastBlank = std::string::npos;
    for (char c : s) {
        out += c;
        if (c == '\n') {
            lineStart = out.size();
            lastBlank = std::string::npos;
            continue;
        }
        if (c == ' ') lastBlank = out.size() - 1;
        if (c == '\r' || out.size() - lineStart <= width) continue;
        if (lastBlank != std::string::npos && lastBlank >= lineStart) {
            out.replace(lastBlank, 1, "\r\n");
            lineStart = lastBlank + 2;
            lastBlank = std::string::npos;
        } else {
            out.insert(out.size() - 1, "\r\n");
            lineStart = out.size() - 1;
        }
    }
    return out;
}

DWORD failWith(DWORD err) {
    SetLastError(err);
    return 0;
}

} // namespace

extern "C" {

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                            va_list *arguments) {
    const bool allocate = flags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
    if (!buffer) return failWith(ERROR_INVALID_PARAMETER);
    if (allocate) *reinterpret_cast<LPSTR *>(buffer) = nullptr;

    const char *text;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (!source || (flags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE)))
            return failWith(ERROR_INVALID_PARAMETER);
        text = static_cast<const char *>(source);
    } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
        text = systemText(messageId);
        if (!text) return failWith(ERROR_MR_MID_NOT_FOUND);
    } else if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
        return failWith(ERROR_RESOURCE_TYPE_NOT_FOUND);
    } else {
        return failWith(ERROR_INVALID_PARAMETER);
    }

    Arguments args((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, arguments);
    std::string out;
    if (!expand(text, flags, args, out)) return failWith(ERROR_INVALID_PARAMETER);
    const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (width && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) out = wrap(out, width);
    if (out.empty()) return 0;

    if (allocate) {
        size_t bytes = out.size() + 1 > size ? out.size() + 1 : size;
        auto *mem = static_cast<char *>(LocalAlloc(LMEM_FIXED, bytes));
        if (!mem) return failWith(ERROR_NOT_ENOUGH_MEMORY);
        std::memcpy(mem, out.c_str(), out.size() + 1);
        *reinterpret_cast<LPSTR *>(buffer) = mem;
    } else {
        if (out.size() + 1 > size) return failWith(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, out.c_str(), out.size() + 1);
    }
    return DWORD(out.size());
}

} // extern "C"

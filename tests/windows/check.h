// A small harness for the programs that run both under Wine (cross-built,
// linked through the import library) and natively against winapi/: cases
// register themselves, the command line picks them by name prefix, and the
// program prints one line a case and "N passed, N failed".
#pragma once

#include <cstdio>
#include <string>
#include <type_traits>

namespace check {

using Body = void (*)();

struct Registrar {
    Registrar(const char *name, Body body);
};

void fail(const char *file, int line, const std::string &what);
// Text for a message: numbers as numbers, texts quoted.
inline std::string show(const std::string &s) { return "\"" + s + "\""; }
inline std::string show(const char *s) { return s ? show(std::string(s)) : std::string("null"); }
template <typename T> std::string show(const T &v) {
    if constexpr (std::is_pointer_v<T>)
        return std::to_string(reinterpret_cast<unsigned long long>(v));
    else
        return std::to_string(v);
}

template <typename A, typename B> bool eq(const char *file, int line, const char *expr, const A &a, const B &b) {
    if constexpr (std::is_convertible_v<A, std::string> && std::is_convertible_v<B, std::string>) {
        if (std::string(a) == std::string(b)) return true;
    } else {
        if (a == b) return true;
    }
    fail(file, line, std::string(expr) + ": " + show(a) + " vs " + show(b));
    return false;
}

int runAll(int argc, char **argv);
// Set by a case that could not run here, with the reason.
void skip(const std::string &why);

} // namespace check

#define CASE(name)                                                                                                     \
    static void name();                                                                                                \
    static check::Registrar name##_registrar(#name, name);                                                             \
    static void name()
#define CHECK(cond) ((cond) ? true : (check::fail(__FILE__, __LINE__, #cond), false))
#define CHECK_EQ(a, b) check::eq(__FILE__, __LINE__, #a " == " #b, (a), (b))

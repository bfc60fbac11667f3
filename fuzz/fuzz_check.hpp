#pragma once
// What a harness asserts: a broken invariant is reported with the inputs that
// broke it and ends the run as a crash, so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

inline void print_quoted(std::string_view label, std::string_view text) {
    std::fprintf(stderr, "  %.*s: \"", int(label.size()), label.data());
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            std::fprintf(stderr, "\\%c", c);
        else if (c >= 0x20 && c < 0x7F)
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02X", c);
    }
    std::fputs("\"\n", stderr);
}

// check(condition, "what must hold", {"label", text}, ...)
struct Shown {
    std::string_view label;
    std::string_view text;
};

inline void check(bool condition, const char* what, std::initializer_list<Shown> shown = {}) {
    if (condition)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    for (const Shown& s : shown)
        print_quoted(s.label, s.text);
    std::abort();
}

inline bool has_line_end(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

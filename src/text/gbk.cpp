#include "text/gbk.hpp"

#include <array>
#include <iconv.h>
#include <memory>
#include <mutex>

namespace {

constexpr char16_t invalid_byte_base = 0xF700;

// Mapping tables built once from the C library's code page 936 converter.
struct Tables {
    std::array<char16_t, 65536> double_byte{}; // (lead << 8 | trail) -> UTF-16, 0 = none
    std::array<char16_t, 256> single_byte{};    // bytes >= 0x80 valid on their own
    std::array<std::uint16_t, 65536> to_gbk{};  // UTF-16 -> GBK code, 0 = none
};

char16_t convert_one(iconv_t cd, const char* in, std::size_t in_len) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[8];
    char* in_ptr = const_cast<char*>(in);
    char* out_ptr = out;
    std::size_t out_left = sizeof out;
    if (iconv(cd, &in_ptr, &in_len, &out_ptr, &out_left) == std::size_t(-1) || in_len != 0)
        return 0;
    if (sizeof out - out_left != 2)
        return 0;
    return char16_t(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
}

std::unique_ptr<Tables> build_tables() {
    auto t = std::make_unique<Tables>();
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == iconv_t(-1))
        return t;
    for (int b = 0x80; b <= 0xFF; ++b) {
        char in = char(b);
        t->single_byte[std::size_t(b)] = convert_one(cd, &in, 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            char in[2] = {char(lead), char(trail)};
            t->double_byte[std::size_t(lead << 8 | trail)] = convert_one(cd, in, 2);
        }
    }
    iconv_close(cd);
    for (int code = 0xFFFF; code >= 0x8140; --code) {
        char16_t u = t->double_byte[std::size_t(code)];
        if (u)
            t->to_gbk[u] = std::uint16_t(code);
    }
    for (int b = 0xFF; b >= 0x80; --b) {
        char16_t u = t->single_byte[std::size_t(b)];
        if (u)
            t->to_gbk[u] = std::uint16_t(b);
    }
    return t;
}

const Tables& tables() {
    static const std::unique_ptr<Tables> instance = build_tables();
    return *instance;
}

// Decodes one character at `i`; sets `length` to the bytes it takes.
char16_t decode_at(const Tables& t, std::string_view s, std::size_t i, int& length) {
    auto b = static_cast<unsigned char>(s[i]);
    length = 1;
    if (b < 0x80)
        return b;
    if (i + 1 < s.size()) {
        auto trail = static_cast<unsigned char>(s[i + 1]);
        char16_t u = t.double_byte[std::size_t(b << 8 | trail)];
        if (u) {
            length = 2;
            return u;
        }
    }
    if (char16_t u = t.single_byte[b])
        return u;
    return char16_t(invalid_byte_base + b);
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool is_continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Decodes the UTF-8 sequence at `i` and sets `length` to the bytes it takes. A
// sequence cut short (by the end or by a byte that does not continue it), an
// overlong form, a surrogate or a value past U+10FFFF gives U+FFFD for all of
// its bytes; the bytes after it are decoded afresh.
char32_t decode_utf8_at(std::string_view s, std::size_t i, std::size_t& length) {
    const auto b = static_cast<unsigned char>(s[i]);
    length = 1;
    char32_t c;
    std::size_t extra;
    char32_t smallest;
    if (b < 0x80)
        return b;
    if ((b & 0xE0) == 0xC0)
        c = b & 0x1F, extra = 1, smallest = 0x80;
    else if ((b & 0xF0) == 0xE0)
        c = b & 0x0F, extra = 2, smallest = 0x800;
    else if ((b & 0xF8) == 0xF0)
        c = b & 0x07, extra = 3, smallest = 0x10000;
    else
        return 0xFFFD; // a continuation byte on its own, or no lead byte at all
    for (std::size_t k = 1; k <= extra; ++k) {
        if (i + k >= s.size() || !is_continuation(static_cast<unsigned char>(s[i + k])))
            return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        length = k + 1;
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0xFFFD;
    return c;
}

std::u16string utf8_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0, length = 0; i < s.size(); i += length) {
        char32_t c = decode_utf8_at(s, i, length);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

} // namespace

std::u16string gbk_to_utf16(std::string_view gbk_text) {
    const Tables& t = tables();
    std::u16string out;
    out.reserve(gbk_text.size());
    for (std::size_t i = 0; i < gbk_text.size();) {
        int length;
        out += decode_at(t, gbk_text, i, length);
        i += std::size_t(length);
    }
    return out;
}

Text utf16_to_gbk(std::u16string_view unicode) {
    const Tables& t = tables();
    Text out;
    out.reserve(unicode.size() * 2);
    for (std::size_t i = 0; i < unicode.size(); ++i) {
        char16_t c = unicode[i];
        if (c < 0x80) {
            out += char(c);
        } else if (c >= invalid_byte_base + 0x80 && c <= invalid_byte_base + 0xFF) {
            out += char(c - invalid_byte_base);
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < unicode.size() && unicode[i + 1] >= 0xDC00 && unicode[i + 1] <= 0xDFFF)
                ++i;
            out += '?';
        } else if (std::uint16_t code = t.to_gbk[c]) {
            if (code > 0xFF)
                out += char(code >> 8);
            out += char(code & 0xFF);
        } else {
            out += '?';
        }
    }
    return out;
}

std::string gbk_to_utf8(std::string_view gbk_text) {
    std::u16string u = gbk_to_utf16(gbk_text);
    std::string out;
    out.reserve(u.size() * 3);
    for (char16_t c : u)
        append_utf8(out, c);
    return out;
}

Text utf8_to_gbk(std::string_view utf8) { return utf16_to_gbk(utf8_to_utf16(utf8)); }

Text gbk(std::string_view utf8_literal) { return utf8_to_gbk(utf8_literal); }

int gbk_pair_length(std::string_view gbk_text, std::size_t index) {
    if (index >= gbk_text.size())
        return 0;
    const auto lead = static_cast<unsigned char>(gbk_text[index]);
    if (lead < 0x81 || lead > 0xFE || index + 1 >= gbk_text.size())
        return 1;
    const auto trail = static_cast<unsigned char>(gbk_text[index + 1]);
    return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

int gbk_char_length(std::string_view gbk_text, std::size_t index) {
    if (index >= gbk_text.size())
        return 0;
    int length;
    decode_at(tables(), gbk_text, index, length);
    return length;
}

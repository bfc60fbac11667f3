#include "text/text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

Text bytes_to_text(const Bytes& bytes) {
    auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return Text(bytes.begin(), end);
}

Bytes text_to_bytes(const Text& text) {
    return Bytes(text.begin(), text.end());
}

static char lower_char(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
static char upper_char(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

Text lower_ascii(std::string_view text) {
    Text out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower_char);
    return out;
}

Text upper_ascii(std::string_view text) {
    Text out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper_char);
    return out;
}

bool equals_ignore_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower_char(x) == lower_char(y);
           });
}

int find_text(std::string_view text, std::string_view needle, int start, bool ignore_case) {
    if (needle.empty())
        return -1;
    std::size_t from = start > 1 ? std::size_t(start - 1) : 0;
    if (from >= text.size())
        return -1;
    std::size_t pos;
    if (ignore_case) {
        auto it = std::search(text.begin() + std::ptrdiff_t(from), text.end(), needle.begin(),
                              needle.end(),
                              [](char x, char y) { return lower_char(x) == lower_char(y); });
        pos = it == text.end() ? std::string_view::npos : std::size_t(it - text.begin());
    } else {
        pos = text.find(needle, from);
    }
    return pos == std::string_view::npos ? -1 : int(pos) + 1;
}

bool contains_text(std::string_view text, std::string_view needle, bool ignore_case) {
    return find_text(text, needle, 1, ignore_case) != -1;
}

// The text without the given bytes at either end.
static Text trim_bytes(std::string_view text, std::string_view bytes) {
    const std::size_t b = text.find_first_not_of(bytes);
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = text.find_last_not_of(bytes);
    return Text(text.substr(b, e - b + 1));
}

Text trim_spaces(std::string_view text) {
    return trim_bytes(text, " ");
}

Text trim_blanks(std::string_view text) {
    return trim_bytes(text, " \t");
}

std::vector<Text> split_text(std::string_view text, std::string_view separator) {
    std::vector<Text> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t at = text.find(separator, from);
        if (at == std::string_view::npos) {
            pieces.emplace_back(text.substr(from));
            break;
        }
        pieces.emplace_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    return pieces;
}

Text replace_all(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty())
        return Text(text);
    Text out;
    std::size_t pos = 0;
    while (true) {
        std::size_t at = text.find(from, pos);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(pos, at - pos));
        out.append(to);
        pos = at + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

Text left_bytes(std::string_view text, int count) {
    if (count <= 0)
        return {};
    return Text(text.substr(0, std::size_t(count)));
}

Text right_bytes(std::string_view text, int count) {
    if (count <= 0)
        return {};
    std::size_t n = std::min(text.size(), std::size_t(count));
    return Text(text.substr(text.size() - n));
}

namespace {

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool is_unsafe_byte(unsigned char c) {
    return c <= 0x20 || c >= 0x7F ||
           std::string_view("\"<>\\^`{|}").find(char(c)) != std::string_view::npos;
}

} // namespace

Text percent_encode_unsafe(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // A '%' that starts an escape stays; a stray one is escaped itself.
        const bool stray_percent = c == '%' && !(i + 2 < text.size() && is_hex_digit(text[i + 1]) &&
                                                 is_hex_digit(text[i + 2]));
        if (is_unsafe_byte(c) || stray_percent) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

double text_to_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    std::string number(text.substr(start, i - start));
    if (number[0] == '+')
        number.erase(0, 1);
    double value = 0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    return result.ec == std::errc() ? value : 0;
}

Text number_to_text(double value) {
    if (!std::isfinite(value))
        return "0";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        char buf[32];
        int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
        return Text(buf, std::size_t(n));
    }
    if (value == std::trunc(value)) {
        char buf[400]; // the largest double has 309 digits
        int n = std::snprintf(buf, sizeof buf, "%.0f", value);
        return Text(buf, std::size_t(n));
    }
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return Text(buf, result.ptr);
}

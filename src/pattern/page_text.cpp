#include "pattern/page_text.hpp"

#include "pattern/pattern_matcher.hpp"

Text chinese_only(const Text& text, bool by_pattern, bool drop_space) {
    PatternMatcher matcher; // lives for the call in both modes; costs nothing until a search
    if (!by_pattern)
        return gb2312_hanzi(text);

    Text result;
    if (matcher.search("[^\\x20-\\x7f]", text)) {
        const int count = matcher.match_count();
        result.reserve(std::size_t(count) * 2);
        for (int i = 1; i <= count; ++i)
            result += matcher.match_text(i);
    }
    if (drop_space && matcher.search("\\s", result))
        result = matcher.replace(Text());
    return result;
}

Text gb2312_hanzi(const Text& text) {
    Text result;
    result.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    // A last single byte is never looked at on its own.
    while (i + 1 < n) {
        const unsigned char b1 = bytes[i];
        const unsigned char b2 = bytes[i + 1];
        if (b1 >= 0xB0 && b1 <= 0xF7 && b2 >= 0xA1 && b2 <= 0xFE) {
            result += char(b1);
            result += char(b2);
            i += 2;
        } else if (b1 > 0x7F && b2 > 0x7F) {
            i += 2; // another double-byte character
        } else {
            i += 1;
        }
    }
    return result;
}

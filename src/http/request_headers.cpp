#include "http/request_headers.hpp"

#include "text/gbk.hpp"

Text normalise_header_names(const Text& headers) {
    Text result;
    for (const Text& line : split_text(headers, "\r\n")) {
        std::size_t colon = line.find(':');
        if (colon == Text::npos)
            continue;
        // Capitalise the first byte of the name and the byte after every "-";
        // empty parts stay empty, so the name keeps its length.
        Text name = line.substr(0, colon);
        bool word_start = true;
        for (char& c : name) {
            if (word_start)
                c = capitalise_first(Text(1, c))[0];
            word_start = c == '-';
        }
        result += name + line.substr(colon) + "\r\n";
    }
    if (!result.empty())
        result.resize(result.size() - 2);
    return result;
}

Text capitalise_first(const Text& word) {
    if (word.empty())
        return {};
    return upper_ascii(word.substr(0, 1)) + word.substr(1);
}

Text text_between(const Text& text, const Text& left, const Text& right, std::optional<int> start,
                  std::optional<bool> ignore_case) {
    static const Text quote_marker = gbk("#引号");
    const Text left_marker = replace_all(left, quote_marker, "\"");
    const Text right_marker = replace_all(right, quote_marker, "\"");
    const int from = start.value_or(0) == 0 ? 1 : *start;
    const bool fold = ignore_case.value_or(false);
    if (from < 1)
        return {};

    int p = find_text(text, left_marker, from, fold);
    if (p == -1)
        return {};
    p += int(left_marker.size());
    int q = find_text(text, right_marker, p, fold);
    if (q == -1)
        return {};
    return text.substr(std::size_t(p - 1), std::size_t(q - p));
}

Text text_after_colon(const Text& text) {
    std::size_t colon = text.find(':');
    if (colon == Text::npos)
        return {};
    return trim_spaces(std::string_view(text).substr(colon + 1));
}

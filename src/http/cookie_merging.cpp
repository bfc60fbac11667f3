#include "http/cookie_merging.hpp"

namespace {

const Text item_separator = "; ";

// Trims, and turns a final ";" into the separator so that it splits cleanly.
void tidy_cookie_text(Text& text) {
    text = trim_spaces(text);
    if (!text.empty() && text.back() == ';')
        text += ' ';
}

// The items of a cookie text; an empty item (two separators in a row) is dropped.
std::vector<Text> cookie_items(const Text& text) {
    std::vector<Text> items;
    for (Text& item : split_text(text, item_separator))
        if (!item.empty())
            items.push_back(std::move(item));
    return items;
}

} // namespace

Text merge_cookies(Text& request, Text& response) {
    tidy_cookie_text(request);
    tidy_cookie_text(response);

    const std::vector<Text> old_items = cookie_items(request);
    std::vector<Text> new_items = cookie_items(response);
    for (const Text& item : old_items)
        if (!has_cookie_named(new_items, cookie_name(item)))
            new_items.push_back(item);

    request.clear();
    for (const Text& item : new_items)
        if (right_bytes(item, 8) != "=deleted")
            request += item + item_separator;
    if (!request.empty())
        request.resize(request.size() - item_separator.size());

    request = remove_duplicate_items(request, item_separator);
    return request;
}

Text cookie_name(const Text& item) {
    std::size_t equals = item.find('=');
    return trim_spaces(equals == Text::npos ? std::string_view(item)
                                            : std::string_view(item).substr(0, equals));
}

bool has_cookie_named(const std::vector<Text>& items, const Text& name) {
    for (const Text& item : items)
        if (cookie_name(item) == name)
            return true;
    return false;
}

Text remove_duplicate_items(const Text& text, const Text& separator) {
    std::vector<Text> seen;
    Text result;
    for (const Text& element : split_text(text, separator)) {
        if (find_item(seen, element) == -1) {
            seen.push_back(element);
            result += element + separator;
        }
    }
    result.resize(result.size() >= separator.size() ? result.size() - separator.size() : 0);
    return result;
}

int find_item(const std::vector<Text>& list, const Text& text) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == text)
            return int(i) + 1;
    return -1;
}

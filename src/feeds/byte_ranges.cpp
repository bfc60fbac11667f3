#include "feeds/byte_ranges.hpp"

#include <algorithm>
#include <charconv>

namespace {

bool read_number(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 18)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

RangeAnswer byte_range(std::string_view header, std::int64_t size, ByteRange& range) {
    header = trimmed(header);
    if (!header.starts_with("bytes="))
        return RangeAnswer::whole;
    const std::string_view spec = trimmed(header.substr(6));
    const std::size_t dash = spec.find('-');
    if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos)
        return RangeAnswer::whole;
    const std::string_view from = trimmed(spec.substr(0, dash));
    const std::string_view to = trimmed(spec.substr(dash + 1));
    std::int64_t first = 0, last = 0;
    if (from.empty()) { // the last bytes
        if (!read_number(to, last))
            return RangeAnswer::whole;
        if (last == 0 || size == 0)
            return RangeAnswer::unsatisfiable;
        range = {last >= size ? 0 : size - last, size - 1};
        return RangeAnswer::part;
    }
    if (!read_number(from, first) || (!to.empty() && !read_number(to, last)))
        return RangeAnswer::whole;
    if (to.empty())
        last = std::max<std::int64_t>(first, size - 1);
    if (last < first)
        return RangeAnswer::whole;
    if (first >= size)
        return RangeAnswer::unsatisfiable;
    range = {first, last >= size ? size - 1 : last};
    return RangeAnswer::part;
}

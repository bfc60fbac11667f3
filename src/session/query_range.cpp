#include "session/query_range.hpp"

#include "session/episode_query.hpp"
#include "text/gbk.hpp"

#include <climits>
#include <cmath>

int span_value(const Text& text) {
    const double value = std::trunc(text_to_number(text));
    if (!(value >= 1))
        return 0;
    return value >= double(INT_MAX) ? INT_MAX : int(value);
}

Text query_range_text(const Text& start, const Text& span) {
    const int count = span_value(span);
    if (count < 1)
        return gbk("不会列出任何一集");
    const double first = text_to_number(start);
    Text said = gbk("将列出第") + episode_number(first, 1) + gbk("集");
    if (count > 1)
        said += gbk("–第") + episode_number(first, count) + gbk("集");
    return said;
}

#pragma once
// Merging the cookies a caller sent with those a response set. A cookie text is
// the value of a Cookie header: name=value items joined by "; ".
#include "text/text.hpp"

#include <vector>

// What the response set replaces the caller's item of the same name, the caller's
// other items follow, items valued "deleted" and exact repeats are left out.
// `request` is left holding the merged text, which is also returned; `response`
// is trimmed in place.
Text merge_cookies(Text& request, Text& response);

// The text before the first "=" (the whole item without one), spaces trimmed.
Text cookie_name(const Text& item);

bool has_cookie_named(const std::vector<Text>& items, const Text& name);

// The text with exact repeats of an item removed, first occurrences kept in order.
Text remove_duplicate_items(const Text& text, const Text& separator);

// 1-based index of the first element equal to `text`, or -1.
int find_item(const std::vector<Text>& list, const Text& text);

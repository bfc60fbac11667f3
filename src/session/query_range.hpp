#pragma once
// What a query of the typed boxes lists, said before it runs: the start box
// holds the episode before the first one listed, the span box how many follow.
#include "text/text.hpp"

// The span box's value rounded toward zero; 0 for anything that is not a
// positive number.
int span_value(const Text& text);

// "将列出第36集–第45集" for 35 and 10, "将列出第36集" for a span of one, and
// "不会列出任何一集" when the span is no positive number.
Text query_range_text(const Text& start, const Text& span);

#pragma once
// Request header texts and marker-based extraction, shared by the request routine
// and the page parsers. Pure functions over GBK texts.
#include "text/text.hpp"

#include <optional>

// Keeps only the header lines (those with a ":") of a CRLF-separated block and
// capitalises every "-"-separated word of each name; values are left alone.
Text normalise_header_names(const Text& headers);

// The text with its first byte upper-cased (ASCII letters only).
Text capitalise_first(const Text& word);

// The text between the first `left` (searched from `start`, 1-based; not supplied
// or 0: from the beginning) and the next `right`; empty when either is missing.
// "#引号" inside a marker stands for a double quote. Letter case counts unless
// `ignore_case` is true.
Text text_between(const Text& text, const Text& left, const Text& right,
                  std::optional<int> start = std::nullopt,
                  std::optional<bool> ignore_case = std::nullopt);

// Everything after the first ":", spaces trimmed; empty without a colon.
Text text_after_colon(const Text& text);

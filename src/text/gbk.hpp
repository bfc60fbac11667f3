#pragma once
// Conversion between GBK texts (code page 936) and Unicode, for the edges of the
// program: widgets (UTF-16), file names (UTF-8) and the regular-expression engine.
//
// Bytes that are not valid GBK survive a round trip: each such byte b becomes the
// private-use character U+F700 + b, which converts back to the same byte.
// Unicode characters that GBK cannot hold become "?".
#include "text/text.hpp"

#include <string>
#include <string_view>

std::u16string gbk_to_utf16(std::string_view gbk_text);
Text utf16_to_gbk(std::u16string_view unicode);

std::string gbk_to_utf8(std::string_view gbk_text);
Text utf8_to_gbk(std::string_view utf8);

// The one way source code writes a literal text: the literal is UTF-8 in the
// source and is turned into its GBK bytes here. gbk("设置") is the GBK text 设置.
Text gbk(std::string_view utf8_literal);

// Number of bytes of the GBK character that starts at `index` (1 or 2), using the
// same rules as the conversion above.
int gbk_char_length(std::string_view gbk_text, std::size_t index);

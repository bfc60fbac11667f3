#pragma once
// Conversion between GBK texts (code page 936) and Unicode, for the edges of the
// program: widgets (UTF-16), file names (UTF-8) and the regular-expression engine.
//
// Bytes that are not valid GBK survive a round trip: each such byte b becomes the
// private-use character U+F700 + b, which converts back to the same byte.
// Unicode characters that GBK cannot hold become "?", and so does each broken
// UTF-8 sequence (cut short, overlong, a surrogate); what follows it is kept.
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
// same rules as the conversion above; 0 past the end.
int gbk_char_length(std::string_view gbk_text, std::size_t index);

// The same by the code page's byte ranges alone: 2 for a lead byte 0x81-0xFE
// followed by a trail byte 0x40-0xFE other than 0x7F, whether or not the code
// page assigns the pair (D7FA-D7FE are unassigned); 1 otherwise; 0 past the end.
int gbk_pair_length(std::string_view gbk_text, std::size_t index);

#pragma once
// Texts are GBK byte strings; byte arrays are kept apart from texts.
// Positions count bytes and start at 1; a search that finds nothing gives -1.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

// The bytes up to (not including) the first zero byte.
Text bytes_to_text(const Bytes& bytes);
Bytes text_to_bytes(const Text& text);

// ASCII-only letter case: only A-Z and a-z are affected.
Text lower_ascii(std::string_view text);
Text upper_ascii(std::string_view text);
bool equals_ignore_case(std::string_view a, std::string_view b);

// 1-based position of the first occurrence of `needle` at or after `start`
// (1-based; values below 1 count as 1), or -1. An empty needle is never found.
int find_text(std::string_view text, std::string_view needle, int start = 1,
              bool ignore_case = false);
bool contains_text(std::string_view text, std::string_view needle, bool ignore_case = false);

// Removes ASCII spaces at both ends.
Text trim_spaces(std::string_view text);
// Removes spaces and tabs at both ends.
Text trim_blanks(std::string_view text);

// The pieces between separators, in order. The empty text gives no pieces and a
// separator at the very end gives no empty last piece. Two separators in a row
// give an empty piece between them.
std::vector<Text> split_text(std::string_view text, std::string_view separator);

Text replace_all(std::string_view text, std::string_view from, std::string_view to);

// First / last `count` bytes (clamped).
Text left_bytes(std::string_view text, int count);
Text right_bytes(std::string_view text, int count);

// Bytes an address cannot carry raw on the wire (spaces, control bytes, bytes of
// 0x80 and above such as GBK titles, the characters "<>\^`{|} and a '%' that does
// not start an escape) written as %XX; every other byte unchanged. The request
// routine, the download and the player all send an address in this form.
Text percent_encode_unsafe(std::string_view text);

// The numeric value of a decimal text: optional spaces, sign, digits, fraction;
// what follows the number is ignored. 0 when the text does not start with a number.
double text_to_number(std::string_view text);
// A decimal text with no fractional part when the value is whole: 36, 3.5, -4;
// whole values are plain digits however large (1000000000000000, not 1e+15).
Text number_to_text(double value);

#pragma once
#include "text/text.hpp"

// The Chinese characters of a raw page field. Default mode scans the GBK bytes
// (gb2312_hanzi); pattern mode keeps every character outside 0x20-0x7F.
Text chinese_only(const Text& text, bool by_pattern = false, bool drop_space = false);

// The GB2312 Chinese characters of the text, in order.
Text gb2312_hanzi(const Text& text);

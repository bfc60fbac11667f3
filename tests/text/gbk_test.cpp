#include "text/gbk.hpp"

#include <gtest/gtest.h>

TEST(GbkLiteral, MatchesTheCodePageBytes) {
    EXPECT_EQ(gbk("设置"), "\xC9\xE8\xD6\xC3");
    EXPECT_EQ(gbk("　"), "\xA1\xA1");
    EXPECT_EQ(gbk("abc"), "abc");
    EXPECT_EQ(gbk("€"), "\x80");
}

TEST(GbkConversion, RoundTripsThroughUnicode) {
    Text text = gbk("第36集 ：状态") + "ab\r\n";
    EXPECT_EQ(utf16_to_gbk(gbk_to_utf16(text)), text);
    EXPECT_EQ(gbk_to_utf8(text), "第36集 ：状态ab\r\n");
    EXPECT_EQ(gbk_to_utf16(gbk("中文")), u"中文");
}

TEST(GbkConversion, InvalidBytesRoundTrip) {
    // A lone lead byte at the end, an undefined pair, and 0xFF.
    Text broken = "a\x81" "b\xA2\xE3\xFF" + gbk("中") + "\xB0";
    std::u16string unicode = gbk_to_utf16(broken);
    EXPECT_EQ(utf16_to_gbk(unicode), broken);
    EXPECT_EQ(unicode.back(), char16_t(0xF7B0));
}

TEST(GbkConversion, UnrepresentableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(utf8_to_gbk("a😀b"), "a?b");
    EXPECT_EQ(utf8_to_gbk("ㄱ"), gbk("ㄱ")); // Hangul letters are in GBK
    EXPECT_EQ(utf8_to_gbk("\xE4\xB8"), "?"); // cut UTF-8 sequence
}

TEST(GbkConversion, CharacterLength) {
    Text text = gbk("a中") + "\x81";
    EXPECT_EQ(gbk_char_length(text, 0), 1);
    EXPECT_EQ(gbk_char_length(text, 1), 2);
    EXPECT_EQ(gbk_char_length(text, 3), 1);
    EXPECT_EQ(gbk_char_length(text, 4), 0);
}

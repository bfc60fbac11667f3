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

TEST(GbkConversion, BrokenUtf8SequencesBecomeOneQuestionMarkAndWhatFollowsIsKept) {
    const struct {
        const char *utf8, *gbk;
    } table[] = {
        {"x\xE4" "a", "x?a"},                   // cut by an ASCII byte
        {"\xE4\xB8" "a", "?a"},                 // cut after two of three bytes
        {"\xE4\xB8", "?"},                      // cut by the end
        {"\xF0\x9F\x98" "b\xE4\xB8\xAD", "?b\xD6\xD0"}, // then a whole 中
        {"\xC0\xAF", "?"},                      // overlong "/"
        {"\xC1\xBF", "?"},                      // overlong DEL
        {"\xE0\x80\xAF", "?"},                  // overlong "/" in three bytes
        {"\xF0\x80\x80\xAF", "?"},              // and in four
        {"\xED\xA0\x80z", "?z"},                // a surrogate
        {"\xF4\x90\x80\x80z", "?z"},            // past U+10FFFF
        {"a\x80" "b", "a?b"},                   // a continuation byte alone
        {"\xFF" "a", "?a"},
        {"\xE4\xB8\xAD/", "\xD6\xD0/"},          // whole sequences are unchanged
    };
    for (const auto& row : table)
        EXPECT_EQ(utf8_to_gbk(row.utf8), row.gbk) << row.gbk;
}

TEST(GbkConversion, PairLengthCountsEveryLeadTrailPairAsOneCharacter) {
    const Text unassigned = "\xD7\xFA"; // no character in code page 936
    EXPECT_EQ(gbk_char_length(unassigned, 0), 1);
    EXPECT_EQ(gbk_pair_length(unassigned, 0), 2);
    const struct {
        const char* bytes;
        int length;
    } table[] = {
        {"\x81\x40", 2}, {"\xFE\xFE", 2}, {"\x81\x7F", 1}, {"\x81\xFF", 1}, {"\x81\x3F", 1},
        {"\x80\x40", 1}, {"\xFF\x40", 1}, {"\x81", 1},     {"a\x81", 1},    {"", 0},
    };
    for (const auto& row : table)
        EXPECT_EQ(gbk_pair_length(row.bytes, 0), row.length) << row.bytes;
    EXPECT_EQ(gbk_pair_length(gbk("中"), 0), 2);
}

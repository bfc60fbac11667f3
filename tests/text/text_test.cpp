#include "text/gbk.hpp"
#include "text/text.hpp"

#include <gtest/gtest.h>

TEST(BytesAndTexts, TextStopsAtFirstZeroByte) {
    Bytes bytes{'a', 'b', 0, 'c'};
    EXPECT_EQ(bytes_to_text(bytes), "ab");
    EXPECT_EQ(bytes_to_text({}), "");
    EXPECT_EQ(text_to_bytes("xy"), (Bytes{'x', 'y'}));
}

TEST(LetterCase, OnlyAsciiLettersChange) {
    Text mixed = "AbZ" + gbk("中文") + "[]";
    EXPECT_EQ(lower_ascii(mixed), "abz" + gbk("中文") + "[]");
    EXPECT_EQ(upper_ascii("a-z"), "A-Z");
    EXPECT_TRUE(equals_ignore_case("Set-Cookie", "set-COOKIE"));
    EXPECT_FALSE(equals_ignore_case("ab", "abc"));
    // Bytes >= 0x80 compare exactly: 0xC1 and 0xE1 are not a case pair.
    EXPECT_FALSE(equals_ignore_case("\xC1", "\xE1"));
}

TEST(Find, PositionsAreOneBasedAndMinusOneWhenMissing) {
    EXPECT_EQ(find_text("abcabc", "bc"), 2);
    EXPECT_EQ(find_text("abcabc", "bc", 3), 5);
    EXPECT_EQ(find_text("abcabc", "x"), -1);
    EXPECT_EQ(find_text("abc", ""), -1);
    EXPECT_EQ(find_text("abc", "c", 10), -1);
    EXPECT_EQ(find_text("abc", "a", 0), 1);
    EXPECT_EQ(find_text("xUser-Agent:", "user-agent:", 1, true), 2);
    EXPECT_EQ(find_text("xUser-Agent:", "user-agent:"), -1);
}

TEST(Trim, RemovesOnlySpacesAtBothEnds) {
    EXPECT_EQ(trim_spaces("  a b  "), "a b");
    EXPECT_EQ(trim_spaces("   "), "");
    EXPECT_EQ(trim_spaces("\ta\t"), "\ta\t");
}

TEST(Split, FollowsTheSharedRules) {
    EXPECT_TRUE(split_text("", "; ").empty());
    EXPECT_EQ(split_text("a=1; b=2", "; "), (std::vector<Text>{"a=1", "b=2"}));
    EXPECT_EQ(split_text("a=1; b=2; ", "; "), (std::vector<Text>{"a=1", "b=2"}));
    EXPECT_EQ(split_text("a; ; b", "; "), (std::vector<Text>{"a", "", "b"}));
    EXPECT_EQ(split_text("a=1;b=2", "; "), (std::vector<Text>{"a=1;b=2"}));
    EXPECT_EQ(split_text("\r\n", "\r\n"), (std::vector<Text>{""}));
}

TEST(Numbers, ReadAndWrittenBack) {
    EXPECT_EQ(text_to_number("35"), 35);
    EXPECT_EQ(text_to_number("2.5"), 2.5);
    EXPECT_EQ(text_to_number(" -4"), -4);
    EXPECT_EQ(text_to_number("+7"), 7);
    EXPECT_EQ(text_to_number("12abc"), 12);
    EXPECT_EQ(text_to_number("abc"), 0);
    EXPECT_EQ(text_to_number(""), 0);
    EXPECT_EQ(text_to_number("."), 0);
    EXPECT_EQ(text_to_number("1e5"), 1);
    EXPECT_EQ(number_to_text(36), "36");
    EXPECT_EQ(number_to_text(3.5), "3.5");
    EXPECT_EQ(number_to_text(-4), "-4");
    EXPECT_EQ(number_to_text(0), "0");
    EXPECT_EQ(number_to_text(1 + 2.5), "3.5");
    EXPECT_EQ(number_to_text(0.1 + 0.2), "0.30000000000000004");
}

TEST(Pieces, LeftRightReplace) {
    EXPECT_EQ(left_bytes("abcdef", 2), "ab");
    EXPECT_EQ(left_bytes("ab", 5), "ab");
    EXPECT_EQ(right_bytes("abcdef", 2), "ef");
    EXPECT_EQ(right_bytes("ab", -1), "");
    EXPECT_EQ(replace_all("a#q#q", "#q", "\""), "a\"\"");
    EXPECT_EQ(replace_all("abc", "", "x"), "abc");
}

TEST(PercentEncoding, OnlyBytesTheWireCannotCarry) {
    EXPECT_EQ(percent_encode_unsafe("/a b?key=x&y=%41"), "/a%20b?key=x&y=%41");
    EXPECT_EQ(percent_encode_unsafe(gbk("三") + "\r\x7F"), "%C8%FD%0D%7F");
    EXPECT_EQ(percent_encode_unsafe("\"<>\\^`{|}"), "%22%3C%3E%5C%5E%60%7B%7C%7D");
    // A '%' that starts no escape is escaped itself; a real escape stays.
    EXPECT_EQ(percent_encode_unsafe("%zz%4%%41%"), "%25zz%254%25%41%25");
    EXPECT_EQ(percent_encode_unsafe("/[a]~'()*!$&+,;=:@"), "/[a]~'()*!$&+,;=:@");
}

TEST(Numbers, WholeValuesFromTenToTheFifteenAreWrittenAsPlainDigits) {
    const struct {
        double value;
        const char* text;
    } table[] = {
        {999999999999999, "999999999999999"},
        {1e15, "1000000000000000"},
        {-1e15, "-1000000000000000"},
        {9007199254740993.0, "9007199254740992"}, // the double nearest to 2^53 + 1
        {123456789012345678.0, "123456789012345680"},
        {1e20, "100000000000000000000"},
        {1e15 + 0.5, "1000000000000000.5"},
    };
    for (const auto& row : table)
        EXPECT_EQ(number_to_text(row.value), row.text) << row.text;
    EXPECT_EQ(number_to_text(1.7976931348623157e308).size(), 309u);
}

TEST(PercentEncoding, LonePercentSignsAreEncodedAndEscapesKept) {
    const struct {
        const char *address, *sent;
    } table[] = {
        {"/100%", "/100%25"},        {"/a%/b", "/a%25/b"},     {"/%2", "/%252"},
        {"/%zz%41", "/%25zz%41"},    {"/%%41", "/%25%41"},     {"/%4a%4A", "/%4a%4A"},
        {"/%g1 x", "/%25g1%20x"},    {"%", "%25"},
    };
    for (const auto& row : table)
        EXPECT_EQ(percent_encode_unsafe(row.address), row.sent) << row.address;
}

TEST(Trimming, BlanksAreSpacesAndTabs) {
    EXPECT_EQ(trim_blanks("\t a b \t"), "a b");
    EXPECT_EQ(trim_blanks(" \t "), "");
    EXPECT_EQ(trim_spaces("\ta "), "\ta");
}

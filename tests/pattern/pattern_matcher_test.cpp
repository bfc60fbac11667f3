#include "pattern/pattern_matcher.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

namespace {

std::vector<Text> all_matches(const PatternMatcher& m) {
    std::vector<Text> out;
    for (int i = 1; i <= m.match_count(); ++i)
        out.push_back(m.match_text(i));
    return out;
}

int position_of(const PatternMatcher& m, int index, int group = 0) {
    int position = 12345;
    if (group == 0)
        m.match_text(index, &position);
    else
        m.submatch_text(index, group, &position);
    return position;
}

struct Replaced {
    const char *pattern, *subject, *replacement, *result;
};

void expect_replaced(const Replaced& row) {
    PatternMatcher m;
    ASSERT_TRUE(m.search(row.pattern, row.subject)) << row.pattern;
    EXPECT_EQ(m.replace(row.replacement), row.result)
        << row.pattern << " on " << row.subject << " with " << row.replacement;
}

} // namespace

TEST(PatternMatcherOptions, DefaultsIgnoreCaseMultilineGlobal) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("^ab$", "AB\r\nab\nxab\naB"));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{"AB", "ab", "aB"}));
    ASSERT_TRUE(m.search("^ab$", "AB\nab", true, false, false));
    EXPECT_EQ(m.match_count(), 0);
    ASSERT_TRUE(m.search("ab$", "ab\n", false, false));
    EXPECT_EQ(m.match_count(), 0); // without multiline, $ only at the very end
    ASSERT_TRUE(m.search("ab", "AB ab ab", true, true, false));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{"ab"}));
}

TEST(PatternMatcherOptions, DialectEscapesDotAndSpace) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("\\x41.\\x42", "a-b a\nb a\rb"));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{"a-b"})); // the dot stops at line breaks
    ASSERT_TRUE(m.search("\\s+", gbk("a \t\r\n　b")));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{" \t\r\n"})); // full-width space is not \s
    ASSERT_TRUE(m.search("[^\\x20-\\x7f]", gbk("a中\t：")));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{gbk("中"), "\t", gbk("：")}));
}

TEST(PatternMatcherOptions, QuotePlaceholder) {
    PatternMatcher m;
    const Text pattern = gbk("id=#引号(\\d+)");
    ASSERT_TRUE(m.search(pattern, gbk("id=\"42\" id=#引号7")));
    EXPECT_EQ(m.match_text(1), gbk("id=#引号7"));
    EXPECT_EQ(m.pattern_text(), pattern);
    ASSERT_TRUE(m.search(pattern, gbk("id=\"42\" id=#引号7"), false, true, true, true));
    EXPECT_EQ(all_matches(m), (std::vector<Text>{"id=\"42"}));
    EXPECT_EQ(m.pattern_text(), "id=\"(\\d+)");
}

TEST(PatternMatcherFailures, EmptyResultsNeverCrash) {
    PatternMatcher m;
    int position = 0;
    EXPECT_EQ(m.match_count(), 0);
    EXPECT_EQ(m.match_text(1, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(m.replace("x"), "");
    EXPECT_EQ(m.pattern_text(), "");

    EXPECT_FALSE(m.search("(a", "aaa"));
    EXPECT_EQ(m.match_count(), 0);
    EXPECT_EQ(m.match_text(1), "");
    EXPECT_EQ(m.submatch_count(), 0);
    EXPECT_EQ(m.replace("x"), "");
    EXPECT_EQ(m.pattern_text(), "(a");

    EXPECT_TRUE(m.search("z", "aaa"));
    EXPECT_EQ(m.match_count(), 0);
    EXPECT_EQ(m.replace("x"), "aaa");
    EXPECT_TRUE(m.search("a", "aaa"));
    EXPECT_EQ(m.match_text(0), "");
    EXPECT_EQ(m.match_text(4), "");
    EXPECT_EQ(position_of(m, 4), -2);

    // An empty pattern matches the empty text before every character and at the end.
    EXPECT_TRUE(m.search("", gbk("a中")));
    EXPECT_EQ(m.match_count(), 3);
    EXPECT_EQ(position_of(m, 3), 3);
    EXPECT_EQ(m.replace("-"), gbk("-a-中-"));
}

TEST(PatternMatcherPositions, ExactByteOffsetsInGbkSubject) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("[a-z]+", gbk("中文abc")));
    EXPECT_EQ(position_of(m, 1), 4);

    ASSERT_TRUE(m.search("a", "aa")); // the same text just before the match
    EXPECT_EQ(position_of(m, 2), 1);
    ASSERT_TRUE(m.search("a(a)", gbk("中aab")));
    EXPECT_EQ(position_of(m, 1, 1), 3);
    ASSERT_TRUE(m.search(gbk("文"), gbk("中文") + std::string(200, 'x') + gbk("文")));
    EXPECT_EQ(position_of(m, 1), 2);
    EXPECT_EQ(position_of(m, 2), 204);

    // Invalid GBK bytes are one character each and come back unchanged.
    const Text zhong = gbk("中");
    const Text broken = "\xFF" + zhong + "\x81 x\xFFy";
    ASSERT_TRUE(m.search("x(.)y", broken));
    EXPECT_EQ(m.match_text(1), "x\xFFy");
    EXPECT_EQ(position_of(m, 1), 5);
    EXPECT_EQ(m.submatch_text(1, 1), "\xFF");
    EXPECT_EQ(m.replace("[$1]"), "\xFF" + zhong + "\x81 [\xFF]");
}

TEST(PatternMatcherReplace, GlobalAndSubstitutions) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("(\\d)(x)?", gbk("1x 2 三3")));
    EXPECT_EQ(m.replace("<$2$1>"), gbk("<x1> <2> 三<3>"));
    EXPECT_EQ(m.replace("$&$$ $0 $9 $"), gbk("1x$ $0 $9 $ 2$ $0 $9 $ 三3$ $0 $9 $"));
    EXPECT_EQ(m.replace(), gbk("  三"));
    ASSERT_TRUE(m.search("(\\d)", "1 2 3", false, true, false));
    EXPECT_EQ(m.replace(gbk("第$1")), gbk("第1 2 3"));
    ASSERT_TRUE(m.search("a*", "baaac"));
    EXPECT_EQ(m.replace("-"), "-b--c-"); // empty matches advance one character
}

TEST(PatternMatcherReplace, TwoDigitGroupsAndTheSubjectBeforeAndAfterTheMatch) {
    const char* eleven = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)";
    const Replaced table[] = {
        {eleven, "abcdefghijk", "$11|$10|$12|$01|$1", "k|j|a2|a|a"},
        {eleven, "abcdefghijk", "$00|$0|$011", "$00|$0|a1"},
        {"(x)", "1x2", "$12|$01|$10", "1x2|x|x02"}, // one group: one digit
        {"(x)", "1x2", "$02", "1$022"},
        {"x", "1x2", "[$`|$&|$']", "1[1|x|2]2"},
        {"x", "axbxc", "($`)", "a(a)b(axb)c"}, // the whole subject before each match
        {"x", "axbxc", "($')", "a(bxc)b(c)c"},
        {"x", "x", "$`$'$$`", "$`"},
    };
    for (const Replaced& row : table)
        expect_replaced(row);
    PatternMatcher m;
    ASSERT_TRUE(m.search("x", gbk("甲x乙")));
    EXPECT_EQ(m.replace("$'$`"), gbk("甲乙甲乙"));
}

TEST(PatternMatcherOptions, MultilineCaretMatchesAfterEveryLineBreak) {
    const Replaced table[] = {
        {"^", "a\n", "#", "#a\n#"},           // after a final line break
        {"^", "a\r\nb", "#", "#a\r#\n#b"},   // and between CR and LF
        {"^", "\r\r", "#", "#\r#\r#"},
        {"^b", "a\nb b", "#", "a\n# b"},
        {"^$", "a\n\nb", "#", "a\n#\nb"},
        {"(?:^|x)c", "c\nxc", "#", "#\n#"},
        {"\\^|[x^]", "^x^", "#", "###"},       // escaped and in a class: a caret
        {"[^a]", "ab", "#", "a#"},             // negation
        {"[^]^a", "xa\na", "#", "xa#"},          // [^] is any character, then the anchor
    };
    for (const Replaced& row : table)
        expect_replaced(row);
    PatternMatcher m;
    ASSERT_TRUE(m.search("^", "a\nb", false, false));
    EXPECT_EQ(m.replace("#"), "#a\nb"); // without multiline, only the start
}

TEST(PatternMatcherGroups, GroupIndexZeroGivesTheEmptyText) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("a(b)", "xab"));
    int position = 0;
    EXPECT_EQ(m.submatch_text(1, 0, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(m.submatch_text(1, -1), "");
    EXPECT_EQ(m.submatch_text(1, 1, &position), "b");
    EXPECT_EQ(position, 2);
    EXPECT_EQ(m.match_text(1, &position), "ab");
    EXPECT_EQ(position, 1);
}

TEST(PatternMatcherGroups, CountsTextsAndUnsetGroups) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("(a)|(b)(c)?", "xab"));
    EXPECT_EQ(m.match_count(), 2);
    EXPECT_EQ(m.submatch_count(), 3);
    EXPECT_EQ(m.submatch_text(1, 1), "a");
    EXPECT_EQ(position_of(m, 1, 1), 1);
    EXPECT_EQ(m.submatch_text(2, 1), "");
    EXPECT_EQ(position_of(m, 2, 1), -2);
    EXPECT_EQ(m.submatch_text(2, 2), "b");
    EXPECT_EQ(position_of(m, 2, 3), -2);
    EXPECT_EQ(m.submatch_text(2, 4), "");
    ASSERT_TRUE(m.search("(x)()", "x"));
    EXPECT_EQ(position_of(m, 1, 2), 1); // an empty group that took part
}

TEST(PatternMatcherCopies, ShareTheLastSearch) {
    PatternMatcher m;
    ASSERT_TRUE(m.search("\\d+", gbk("第12集 第3集")));
    PatternMatcher copy(m);
    PatternMatcher assigned;
    assigned = m;
    ASSERT_TRUE(m.search("z", "zz"));
    for (const PatternMatcher* c : {&copy, &assigned}) {
        EXPECT_EQ(all_matches(*c), (std::vector<Text>{"12", "3"}));
        EXPECT_EQ(position_of(*c, 2), 9);
        EXPECT_EQ(c->replace("N"), gbk("第N集 第N集"));
    }
    EXPECT_EQ(m.match_count(), 2);
    EXPECT_EQ(m.replace("y"), "yy");
}

TEST(PatternMatcherLongSubjects, FiveMegabytePage) {
    Text page;
    const Text line = gbk("<td>作者：某人</td>\r\n");
    while (page.size() < 5 * 1024 * 1024)
        page += line;
    const int lines = int(page.size() / line.size());
    PatternMatcher m;
    ASSERT_TRUE(m.search("[^\\x20-\\x7f]", page));
    EXPECT_EQ(m.match_count(), lines * 7);
    EXPECT_EQ(position_of(m, m.match_count()), int(page.size()) - 1);
    // Backtracking state for every character: either it runs or it fails cleanly.
    Text pairs;
    while (pairs.size() < 2 * 1024 * 1024)
        pairs += "ab";
    const bool ran = m.search("(a|b)*", pairs);
    EXPECT_EQ(m.match_count(), ran ? 2 : 0);
}

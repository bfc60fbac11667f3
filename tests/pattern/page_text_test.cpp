#include "pattern/page_text.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

TEST(ChineseOnlyByteScan, KeepsGb2312HanziOnly) {
    const Text field = gbk("<b>演播：</b> 张三 ab12\r\n，李四（连载）");
    EXPECT_EQ(chinese_only(field), gbk("演播张三李四连载"));
    EXPECT_EQ(chinese_only(field, false, true), gbk("演播张三李四连载"));
    EXPECT_EQ(chinese_only(gbk("abc ：，ａ０")), "");
    EXPECT_EQ(chinese_only(""), "");
}

TEST(ChineseOnlyByteScan, PairsAndStrayBytes) {
    // Full-width digit then hanzi: pairs stay aligned.
    EXPECT_EQ(gb2312_hanzi(gbk("０啊")), gbk("啊"));
    // Extension character with an ASCII second byte: skipped one byte at a time.
    EXPECT_EQ(gb2312_hanzi("\xB0\x41" + gbk("中")), gbk("中"));
    EXPECT_EQ(gb2312_hanzi(gbk("丂中")), gbk("中"));
    // Two high bytes outside the hanzi rows are skipped together.
    EXPECT_EQ(gb2312_hanzi("\xB0\xFF\xA1"), "");
    EXPECT_EQ(gb2312_hanzi("\xA3\xB0\xA1"), "");
    // A trailing lead byte adds nothing.
    EXPECT_EQ(gb2312_hanzi(gbk("中") + "\xB0"), gbk("中"));
}

TEST(ChineseOnlyPattern, KeepsEveryCharacterOutsidePrintableAscii) {
    const Text field = gbk("<b>演播：</b> 张三\tab\r\n，　李四");
    EXPECT_EQ(chinese_only(field, true), gbk("演播：张三\t\r\n，　李四"));
    EXPECT_EQ(chinese_only(field, true, true), gbk("演播：张三，　李四"));
    EXPECT_EQ(chinese_only("abc <br>", true), "");
    EXPECT_EQ(chinese_only("\r\n", true, true), "");
    // Invalid GBK bytes are carried through unchanged.
    const Text zhong = gbk("中");
    EXPECT_EQ(chinese_only("a\xFF" + zhong + "\x81 ", true), "\xFF" + zhong + "\x81");
}

// The command line's words as the parser reads them: what each option gives,
// and the mistakes that end with exit code 2 before anything is done.
#include "command_line/command_line.hpp"
#include "command_line/command_options.hpp"

#include <QDir>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TEST(CommandOptions, WhatEachOptionGivesAndWhichWordsAreMistakes) {
    struct Case {
        QStringList words;
        int code; // 0 with options, or the exit code of the text
        QString operand = {};
        std::optional<double> from = {};
        std::optional<int> count = {}, jobs = {};
        bool json = false, quiet = false, verbose = false;
        const char* text = ""; // part of the text printed instead
    };
    const Case cases[] = {
        {{"download", "http://h/p_1_2.htm"}, 0, "http://h/p_1_2.htm"},
        {{"download", "--from", "2.5", "--count=3", "--jobs", "4", "-q", "a"}, 0, "a", 2.5, 3, 4, false, true},
        {{"download", "-v", "--", "-a"}, 0, "-a", {}, {}, {}, false, false, true},
        {{"followed", "--json"}, 0, {}, {}, {}, {}, true},
        {{"check", "--json", "--verbose"}, 0, {}, {}, {}, {}, true, false, true},
        {{"library", "-q"}, 0, {}, {}, {}, {}, false, true},
        {{"download", "--json", "a"}, 2, {}, {}, {}, {}, false, false, false, "json"},
        {{"download", "--from", "x", "a"}, 2, {}, {}, {}, {}, false, false, false, "not a number"},
        {{"download", "--count", "-1", "a"}, 2, {}, {}, {}, {}, false, false, false, "from 1 to"},
        {{"download", "--jobs", "5", "a"}, 2, {}, {}, {}, {}, false, false, false, "from 1 to 4"},
        {{"download", "--to=", "a"}, 2, {}, {}, {}, {}, false, false, false, "--to"},
        {{"download", "a", "b"}, 2, {}, {}, {}, {}, false, false, false, "one ADDRESS only"},
        {{"follow"}, 2, {}, {}, {}, {}, false, false, false, "missing ADDRESS"},
        {{"unfollow", "-q", "-v", "t"}, 2, {}, {}, {}, {}, false, false, false, "exclude each other"},
        {{"followed", "x"}, 2, {}, {}, {}, {}, false, false, false, "takes no operand"},
        {{"--bogus"}, 2, {}, {}, {}, {}, false, false, false, "unrecognized option '--bogus'"},
        {{"--version"}, 0, {}, {}, {}, {}, false, false, false, "audiobook-client 1.0.0"},
        {{"check", "--version"}, 0, {}, {}, {}, {}, false, false, false, "audiobook-client 1.0.0"},
        {{"follow", "--help"}, 0, {}, {}, {}, {}, false, false, false, "Usage: audiobook-client follow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.join(' ').toStdString());
        const ParsedCommandLine parsed = parse_command_line(QStringList{"audiobook-client"} + c.words);
        if (!c.text[0]) {
            ASSERT_TRUE(parsed.options.has_value()) << parsed.text.toStdString();
            const CommandOptions& o = *parsed.options;
            EXPECT_EQ(o.command, c.words.front());
            EXPECT_EQ(o.operand, c.operand);
            EXPECT_EQ(o.from, c.from);
            EXPECT_EQ(o.count, c.count);
            EXPECT_EQ(o.jobs, c.jobs);
            EXPECT_EQ(o.json, c.json);
            EXPECT_EQ(o.quiet, c.quiet);
            EXPECT_EQ(o.verbose, c.verbose);
            continue;
        }
        EXPECT_FALSE(parsed.options.has_value());
        EXPECT_EQ(parsed.exit_code, c.code);
        EXPECT_TRUE(parsed.text.contains(QString::fromUtf8(c.text))) << parsed.text.toStdString();
    }
}

// Which starts the command line takes, and which open the window: a bare word
// is a mistyped command (told so, exit 2), an address or Qt's options the window's.
TEST(CommandOptions, TheCommandLineTakesCommandsOptionsAndBareWords) {
    const struct {
        std::vector<const char*> words;
        bool command_line;
    } cases[] = {
        {{}, false},
        {{"check"}, true},
        {{"--version"}, true},
        {{"bogus"}, true},
        {{"https://www.example.com/yousheng/1/play_1_2.htm"}, false},
        {{"www.example.com/play_1_2.htm"}, false},
        {{"-style", "fusion"}, false},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv{const_cast<char*>("audiobook-client")};
        for (const char* word : c.words)
            argv.push_back(const_cast<char*>(word));
        EXPECT_EQ(wants_command_line(int(argv.size()), argv.data()), c.command_line)
            << (c.words.empty() ? "" : c.words.front());
    }
}

TEST(CommandOptions, ARelativeSaveFolderIsTakenFromTheCurrentFolder) {
    const ParsedCommandLine parsed =
        parse_command_line({"audiobook-client", "download", "--to", "书/../下载", "a"});
    ASSERT_TRUE(parsed.options.has_value());
    EXPECT_EQ(parsed.options->to, QDir::current().absoluteFilePath(QString::fromUtf8("下载")));
    EXPECT_TRUE(writes_files("check") && writes_files("unfollow") && !writes_files("library") &&
                !writes_files("followed"));
}

} // namespace

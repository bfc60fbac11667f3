// The settings window's checks of its fields, without a window.
#include "settings/settings_checks.hpp"

#include "files/files.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

TEST(SettingsChecks, NumbersAreWholeNumbersInTheirRangeAndHostsHaveAPort) {
    using Check = std::function<Text(const Text&)>;
    const Check start = start_episode_problem, count = episode_count_problem,
                host = media_host_problem;
    const struct {
        const char* what;
        Check check;
        const char* typed;
        bool good;
    } cases[] = {
        {"start", start, "", true},        {"start", start, "0", true},
        {"start", start, " 35 ", true},    {"start", start, "99999", true},
        {"start", start, "100000", false}, {"start", start, "2.5", false},
        {"start", start, "-1", false},     {"start", start, "abc", false},
        {"start", start, "三十", false},   {"start", start, "12345678901234567890", false},
        {"count", count, "", true},        {"count", count, "1", true},
        {"count", count, "9999", true},    {"count", count, "0", false},
        {"count", count, "10000", false},  {"count", count, "1e3", false},
        {"host", host, "", true},          {"host", host, "127.0.0.1:8280", true},
        {"host", host, " media.example.com ", true},
        {"host", host, "a-b.example:1", true},
        {"host", host, "media.example.com:65535", true},
        {"host", host, "media.example.com:65536", false},
        {"host", host, "media.example.com:0", false},
        {"host", host, "media.example.com:", false},
        {"host", host, ":8080", false},
        {"host", host, "http://media.example.com", false},
        {"host", host, "media example", false},
        {"host", host, "media.example.com/path", false},
    };
    for (const auto& c : cases) {
        const Text problem = c.check(gbk(c.typed));
        EXPECT_EQ(problem.empty(), c.good) << c.what << " '" << c.typed << "': " << problem;
    }
}

// What is said names what is wrong: a negative count is not a positive whole
// number, an address is not a host with a bad port; no text is longer than
// the longest the window keeps room for.
TEST(SettingsChecks, ProblemsSayWhatIsWrong) {
    using Check = std::function<Text(const Text&)>;
    const Check start = start_episode_problem, count = episode_count_problem,
                host = media_host_problem;
    const struct {
        Check check;
        const char* typed;
        const char* said;
    } cases[] = {
        {count, "-5", "须是正整数"},
        {count, "2.5", "须是正整数"},
        {count, "0", "须在 1 到 9999 之间"},
        {start, "-5", "须是 0 或正整数"},
        {host, "http://bad host/", "须是主机名，可带端口，如 media.example.com:8080"},
        {host, "media.example.com/path", "须是主机名，可带端口，如 media.example.com:8080"},
        {host, "media.example.com:http", "端口须是 1 到 65535 的整数"},
        {host, "media.example.com:99999", "端口须是 1 到 65535 的整数"},
        {host, ":8080", "缺少主机名"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const Text said = c.check(gbk(c.typed));
        EXPECT_EQ(said, gbk(c.said));
        EXPECT_LE(said.size(), longest_problem().size());
    }
}

TEST(SettingsChecks, TheSaveFolderIsAFullPathGbkHoldsThatCanBeMadeAndWritten) {
    const struct {
        const char* typed;
        bool gbk_holds, good;
    } typed[] = {{"", true, true},         {"/书/新", true, true}, {"  /书 ", true, true},
                 {"书/新", true, false},   {"~/书", true, false},   {"/书/?", false, false}};
    for (const auto& t : typed)
        EXPECT_EQ(save_folder_problem(gbk(t.typed), t.gbk_holds).empty(), t.good) << t.typed;

    char pattern[] = "/tmp/settings-checks-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    std::ofstream(root / "a file") << "not a folder";
    const struct {
        Text folder;
        bool good;
    } written[] = {
        {"", true}, // the music folder's 有声书, made by the first download
        {text_path(root), true},
        {text_path(root / "new" / "deeper"), true},      // made on the way
        {text_path(root / "a file"), false},             // a file stands there
        {text_path(root / "a file" / "below"), false},   // nor can one be made below it
    };
    for (const auto& w : written) {
        EXPECT_EQ(save_folder_write_problem(w.folder).empty(), w.good) << w.folder;
        if (w.good && !w.folder.empty()) {
            EXPECT_TRUE(fs::is_directory(native_path(w.folder)));
            EXPECT_TRUE(fs::is_empty(native_path(w.folder)) || w.folder == text_path(root))
                << "the trial file stays behind";
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    fs::remove_all(root);
}

} // namespace

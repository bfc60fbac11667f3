#include "site/download_paths.hpp"
#include "files/files.hpp"
#include "support/home_folder.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

TEST(SafePathComponent, ReplacesEveryUnsafeCharacter) {
    EXPECT_EQ(safe_path_component(gbk("三体")), gbk("三体"));
    EXPECT_EQ(safe_path_component(gbk("a/b\\c:d*e?f\"g<h>i|j")), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(safe_path_component(Text("tab\there\nnew\x7f\x01")), "tab_here_new__");
    EXPECT_EQ(safe_path_component(gbk("../../etc/passwd")), gbk("_._.._etc_passwd"));
    EXPECT_EQ(safe_path_component(gbk("斗破/苍穹")), gbk("斗破_苍穹"));
}

TEST(SafePathComponent, KeepsTwoByteCharactersWhoseSecondByteLooksUnsafe) {
    // The second bytes of these are 0x5C ("\") and 0x7C ("|").
    const Text title = gbk("乗俓億亅");
    ASSERT_EQ(title.size(), 8u);
    EXPECT_EQ(safe_path_component(title), title);
    EXPECT_EQ(safe_path_component(gbk("乗\\億|")), gbk("乗_億_"));
}

TEST(SafePathComponent, NeverEmptyDotOrDotDotNorHidden) {
    EXPECT_EQ(safe_path_component(""), "_");
    EXPECT_EQ(safe_path_component("."), "_");
    EXPECT_EQ(safe_path_component(".."), "_");
    EXPECT_EQ(safe_path_component(" . . "), "_");
    EXPECT_EQ(safe_path_component("Book. . "), "Book");
    EXPECT_EQ(safe_path_component(".hidden"), "_hidden");
    EXPECT_EQ(safe_path_component("  lead"), "  lead");
    EXPECT_EQ(safe_path_component("a..b"), "a..b");
}

TEST(SafePathComponent, LongTitlesAreCutToFitANameOnDisk) {
    Text title;
    for (int i = 0; i < 30; ++i)
        title += gbk("斗破苍穹之");
    title += "...";
    const Text name = safe_path_component(title);
    const std::string on_disk = gbk_to_utf8(name);
    EXPECT_LE(on_disk.size(), 200u);
    EXPECT_GE(on_disk.size(), 198u);
    EXPECT_EQ(title.rfind(name, 0), 0u) << "a start of the title, in whole characters";
    EXPECT_GT(gbk_to_utf8(name + title.substr(name.size(), 2)).size(), 200u);

    const Text file = downloaded_file_path("/save", title, gbk("第12345.5集"));
    EXPECT_LE(native_path(file).filename().native().size(), 255u);
    EXPECT_LE(native_path(file).parent_path().filename().native().size(), 200u);

    // Cut right before a dot and a space: those are trimmed after the cut.
    const Text dotted = Text(199, 'a') + ". b";
    EXPECT_EQ(safe_path_component(dotted), Text(199, 'a'));
}

TEST(DownloadPaths, FolderAndFileUseTheSameSafeTitle) {
    EXPECT_EQ(book_folder("/save", gbk("三体")), gbk("/save/三体"));
    EXPECT_EQ(book_folder("/save/", gbk("三体")), gbk("/save/三体"));
    EXPECT_EQ(downloaded_file_path("/save", gbk("三体"), gbk("第36集")),
              gbk("/save/三体/三体_第36集.mp3"));
    EXPECT_EQ(downloaded_file_path("/save", gbk("三/体.."), gbk("第3.5集")),
              gbk("/save/三_体_00cbcb/三_体_00cbcb_第3.5集.mp3"));
    EXPECT_EQ(downloaded_file_path("/save", "..", gbk("第1集")),
              gbk("/save/__d4a7ae/__d4a7ae_第1集.mp3"));
}

TEST(DownloadPaths, TitlesMadeSafeAlikeStillNameDistinctFolders) {
    Text long_title(300, 'x');
    const Text table[] = {
        gbk("三体"),      "a_b",          "a/b", "a:b", "a?b", "a_b.", ".a_b", long_title,
        long_title + "y", gbk("乗俓億亅")};
    std::set<Text> names;
    for (const Text& title : table) {
        const Text name = book_name(title);
        EXPECT_TRUE(names.insert(name).second) << title;
        EXPECT_EQ(book_name(name), name) << "a folder name read back names the same folder";
        EXPECT_EQ(safe_path_component(name), name);
        EXPECT_LE(gbk_to_utf8(name).size(), 200u);
        // A safe title, short enough, names its folder exactly as it always did.
        if (safe_path_component(title) == title)
            EXPECT_EQ(name, title);
        else
            EXPECT_EQ(name[name.size() - 7], '_') << title;
    }
    EXPECT_EQ(book_name("a/b"), "a_b_8e75fb"); // the same on every run and machine
    EXPECT_EQ(book_folder("/save", "a:b"), "/save/" + book_name("a:b"));
}

TEST(DownloadPaths, FileStaysInsideTheBookFolderWhateverTheLabel) {
    const Text path = downloaded_file_path("/save", "t", "../../x");
    EXPECT_EQ(path, "/save/t/t_.._.._x.mp3");
    EXPECT_EQ(native_path(path).parent_path(), fs::path("/save/t"));
}

TEST(DownloadPaths, EmptySaveFolderMeansTheMusicFolder) {
    HomeFolder home;
    const Text cwd = text_path(home.default_save_folder());
    EXPECT_EQ(effective_save_folder(""), cwd);
    EXPECT_EQ(effective_save_folder("/x"), "/x");
    EXPECT_EQ(book_folder("", "t"), join_path(cwd, "t"));
    EXPECT_NE(book_folder("", "t"), "/t");
}

TEST(EpisodeNumberInName, TheLastNumberedEpisodeMarkCounts) {
    const std::pair<const char*, int> cases[] = {
        {"星海远航_第12集.mp3", 12},
        {"第3集_第45集.mp3", 45},
        {"第1季_第7集.mp3", 7},   // "季" is no episode mark
        {"第集.mp3", 0},          // no digits
        {"第12.mp3", 0},          // no closing mark
        {"track12.mp3", 0},
        {"", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(episode_number_in_name(gbk(name)), number) << name;
}

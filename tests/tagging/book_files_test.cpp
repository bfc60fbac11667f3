// A book folder's playlist and cover file, and a book downloaded before tagged
// again on its own thread: every episode tagged with its audio unchanged, or,
// cancelled, nothing changed.
#include "tagging/book_folder_dressing.hpp"
#include "tagging/book_playlist.hpp"
#include "tagging/book_retag.hpp"
#include "tagging/episode_tags.hpp"

#include "site/sample_site.hpp"
#include "support/site_fixture.hpp"

#include <QSignalSpy>

namespace fs = std::filesystem;

namespace {

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

fs::path episode(const fs::path& folder, const char* name) {
    return folder / native_path(gbk(name));
}

} // namespace

// In episode order with their lengths and titles; hidden, other and odd names
// as they are; a title's line end kept inside its line; the cover as it came.
TEST(BookFolderDressing, PlaylistAndCoverFollowTheFolder) {
    TempFolder folder;
    BookFolderDressing dressing;
    for (const char* name : {"书_第10集.mp3", "书_第2集.mp3", "书_第1集.mp3", "别的_第5集.mp3"})
        write_bytes(episode(folder.path, name), silent_mp3());
    write_bytes(episode(folder.path, ".书_第3集.mp3.part"), silent_mp3());
    write_bytes(folder.path / "notes.txt", {'x'});
    const fs::path playlist = episode(folder.path, "书.m3u8");
    // (Natural order of the GBK names: 别 comes before 书.)
    const std::string before = "#EXTM3U\n#EXTINF:1,别的_第5集\n别的_第5集.mp3\n"
                               "#EXTINF:1,第1集\n书_第1集.mp3\n#EXTINF:1,第2集\n书_第2集.mp3\n";
    const std::string after = "#EXTINF:1,第10集\n书_第10集.mp3\n";
    ASSERT_TRUE(dressing.write_playlist(folder.path, gbk("书")));
    EXPECT_EQ(read_text(playlist), before + after);
    write_bytes(episode(folder.path, "书_第3集.mp3"), silent_mp3(200000)); // about 13 s
    ASSERT_TRUE(dressing.write_playlist(folder.path, gbk("书")));
    EXPECT_EQ(read_text(playlist), before + "#EXTINF:13,第3集\n书_第3集.mp3\n" + after);
    EXPECT_EQ(playlist_text({{gbk("第2\n集"), "a.mp3", -7}}), "#EXTM3U\n#EXTINF:-1,第2 集\na.mp3\n");

    for (const auto& [cover, name] : {std::pair{sample_cover_gif("a"), "cover.gif"},
                                      {Bytes{0xFF, 0xD8, 0xFF, 1}, "cover.jpg"},
                                      {Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "cover.png"},
                                      {Bytes(50, 7), ""}}) {
        TempFolder book;
        EXPECT_TRUE(dressing.keep_cover(book.path, cover));
        EXPECT_TRUE(dressing.keep_cover(book.path, cover)); // the same again: nothing to do
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(book.path))
            names.push_back(entry.path().filename());
        EXPECT_EQ(names, *name ? std::vector<fs::path>{name} : std::vector<fs::path>{}) << name;
        if (*name) {
            EXPECT_EQ(read_text(book.path / name), std::string(cover.begin(), cover.end()));
        }
    }
}

TEST(BookRetag, TagsEveryEpisodeOrNothingWhenCancelled) {
    for (const bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled ? "cancelled" : "whole");
        TempFolder folder;
        std::vector<std::string> before;
        for (const char* name : {"第一案_第1集.mp3", "第一案_第3集.mp3"}) {
            Bytes host = silent_mp3();
            host.push_back(std::uint8_t(name[0])); // each file its own
            write_bytes(episode(folder.path, name), host);
            before.emplace_back(host.begin(), host.end());
        }
        BookRetag retag(folder.path, gbk("第一案"),
                        BookDetails{gbk("第一案"), gbk("作者甲"), gbk("播音乙"), 0, sample_cover_gif("c")},
                        std::make_shared<BookFolderDressing>());
        QSignalSpy finished(&retag, &BookRetag::finished);
        if (cancelled)
            retag.cancel();
        retag.start();
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_EQ(finished.at(0), (QVariantList{cancelled ? 0 : 2, 0, cancelled}));
        int i = 0;
        for (const char* name : {"第一案_第1集.mp3", "第一案_第3集.mp3"}) {
            const fs::path file = episode(folder.path, name);
            const std::string& host = before[std::size_t(i++)];
            const std::string now = read_text(file);
            EXPECT_EQ(now.size() > host.size(), !cancelled);
            EXPECT_TRUE(now.ends_with(host)); // untagged host: the whole of it is audio
            if (cancelled)
                continue;
            EXPECT_EQ(recorded_host_length(file), std::int64_t(host.size()));
            const auto tagged = tagged_book(file);
            ASSERT_TRUE(tagged.has_value());
            EXPECT_EQ(tagged->composer, gbk("播音乙"));
            EXPECT_EQ(tagged->total, 3); // the highest episode on disk, past the title's 第
        }
        EXPECT_EQ(fs::exists(folder.path / "cover.gif"), !cancelled);
        EXPECT_EQ(fs::exists(episode(folder.path, "第一案.m3u8")), !cancelled);
        for (const auto& entry : fs::directory_iterator(folder.path))
            EXPECT_NE(entry.path().filename().string().front(), '.'); // no copy left behind
    }
}

// A book folder's playlist and cover file, and a book downloaded before tagged
// again on its own thread: every episode tagged with its audio unchanged, or,
// cancelled, nothing changed.
#include "tagging/book_folder_dressing.hpp"
#include "tagging/book_playlist.hpp"
#include "tagging/book_retag.hpp"
#include "tagging/episode_tags.hpp"

#include "files/files.hpp"
#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        char pattern[] = "/tmp/book-files-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes read_bytes(const fs::path& file) {
    const std::string text = read_text(file);
    return {text.begin(), text.end()};
}

void write_bytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

fs::path episode_file(const fs::path& folder, const char* book, int n) {
    return folder / native_path(gbk(book) + gbk("_第") + std::to_string(n) + gbk("集.mp3"));
}

} // namespace

TEST(BookPlaylist, TitlesAndText) {
    struct Title {
        const char* file;
        const char* book;
        const char* title;
    };
    const Title titles[] = {
        {"星海远航_第3集.mp3", "星海远航", "第3集"},
        {"第3集.mp3", "星海远航", "第3集"},
        {"别的书_第3集.mp3", "星海远航", "别的书_第3集"},
        {"星海远航_.mp3", "星海远航", "星海远航_"},
    };
    for (const Title& t : titles) {
        SCOPED_TRACE(t.file);
        EXPECT_EQ(playlist_title(gbk(t.file), gbk(t.book)), gbk(t.title));
    }
    const std::vector<PlaylistEntry> entries{
        {gbk("第1集"), native_path(gbk("书_第1集.mp3")), 61},
        {gbk("第2\n集"), native_path(gbk("书_第2集.mp3")), -1}, // a line end stays inside its line
        {gbk("第3集"), native_path(gbk("书_第3集.mp3")), -7},
    };
    EXPECT_EQ(playlist_text(entries), "#EXTM3U\n"
                                      "#EXTINF:61,第1集\n书_第1集.mp3\n"
                                      "#EXTINF:-1,第2 集\n书_第2集.mp3\n"
                                      "#EXTINF:-1,第3集\n书_第3集.mp3\n");
    EXPECT_EQ(playlist_text({}), "#EXTM3U\n");
}

// The playlist lists the episodes on disk in episode order, with their
// lengths, and follows the folder as episodes land; hidden and other files
// stay out of it.
TEST(BookFolderDressing, PlaylistFollowsTheFolder) {
    Folder folder;
    BookFolderDressing dressing;
    for (int n : {10, 2, 1})
        write_bytes(episode_file(folder.path, "书", n), silent_mp3());
    write_bytes(folder.path / native_path(gbk(".书_第3集.mp3.part")), silent_mp3());
    write_bytes(folder.path / "notes.txt", {'x'});
    const fs::path playlist = folder.path / native_path(gbk("书.m3u8"));
    ASSERT_TRUE(dressing.write_playlist(folder.path, gbk("书")));
    EXPECT_EQ(read_text(playlist), "#EXTM3U\n"
                                   "#EXTINF:1,第1集\n书_第1集.mp3\n"
                                   "#EXTINF:1,第2集\n书_第2集.mp3\n"
                                   "#EXTINF:1,第10集\n书_第10集.mp3\n");
    write_bytes(episode_file(folder.path, "书", 3), silent_mp3(200000)); // about 12 s
    ASSERT_TRUE(dressing.write_playlist(folder.path, gbk("书")));
    EXPECT_EQ(read_text(playlist), "#EXTM3U\n"
                                   "#EXTINF:1,第1集\n书_第1集.mp3\n"
                                   "#EXTINF:1,第2集\n书_第2集.mp3\n"
                                   "#EXTINF:13,第3集\n书_第3集.mp3\n"
                                   "#EXTINF:1,第10集\n书_第10集.mp3\n");
    // No temporary file of the atomic write is left.
    int names = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.path))
        ++names;
    EXPECT_EQ(names, 7);
}

TEST(BookFolderDressing, CoverFileTakesTheKindItCameAs) {
    struct Case {
        const char* name;
        Bytes cover;
        const char* file; // empty: none written
    };
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xDB, 1, 2, 3};
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 9};
    const Case cases[] = {
        {"GIF", sample_cover_gif("a"), "cover.gif"},
        {"JPEG", jpeg, "cover.jpg"},
        {"PNG", png, "cover.png"},
        {"unknown", Bytes(50, 7), ""},
        {"none", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        BookFolderDressing dressing;
        EXPECT_TRUE(dressing.keep_cover(folder.path, c.cover));
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder.path))
            names.push_back(entry.path().filename());
        if (*c.file == 0) {
            EXPECT_TRUE(names.empty());
            continue;
        }
        ASSERT_EQ(names, std::vector<fs::path>{c.file});
        EXPECT_EQ(read_bytes(folder.path / c.file), c.cover);
    }
}

// A book downloaded before: every episode tagged, its audio as it was and the
// size it had recorded, then the cover file and the playlist; cancelled
// before a file, nothing changes.
TEST(BookRetag, TagsEveryEpisodeOrNothingWhenCancelled) {
    for (const bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled ? "cancelled" : "whole");
        Folder folder;
        std::vector<Bytes> before;
        for (int n : {1, 2, 3}) {
            Bytes host{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10};
            host.resize(20, 0);
            const Bytes audio = silent_mp3();
            host.insert(host.end(), audio.begin(), audio.end());
            host.push_back(std::uint8_t(n)); // each file its own
            write_bytes(episode_file(folder.path, "古城疑云", n), host);
            before.push_back(host);
        }
        const Bytes cover = sample_cover_gif("c");
        BookRetag retag(folder.path, gbk("古城疑云"),
                        BookDetails{gbk("古城疑云"), gbk("作者甲"), gbk("播音乙"), 0, cover},
                        std::make_shared<BookFolderDressing>());
        QSignalSpy finished(&retag, &BookRetag::finished);
        QSignalSpy progressed(&retag, &BookRetag::progressed);
        if (cancelled)
            retag.cancel();
        retag.start();
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_EQ(finished.at(0).at(0).toInt(), cancelled ? 0 : 3);
        EXPECT_EQ(finished.at(0).at(1).toInt(), 0);
        EXPECT_EQ(finished.at(0).at(2).toBool(), cancelled);
        EXPECT_EQ(progressed.count(), cancelled ? 0 : 3);
        for (int n : {1, 2, 3}) {
            const fs::path file = episode_file(folder.path, "古城疑云", n);
            const Bytes& host = before[std::size_t(n - 1)];
            if (cancelled) {
                EXPECT_EQ(read_bytes(file), host);
                continue;
            }
            EXPECT_EQ(recorded_host_length(file), std::int64_t(host.size()));
            const Bytes now = read_bytes(file);
            ASSERT_GT(now.size(), 30u);
            EXPECT_TRUE(std::equal(host.begin() + 20, host.end(), now.end() - std::ptrdiff_t(host.size() - 20)));
            const auto book = tagged_book(file);
            ASSERT_TRUE(book.has_value());
            EXPECT_EQ(book->artist, gbk("作者甲"));
            EXPECT_EQ(book->composer, gbk("播音乙"));
            EXPECT_EQ(book->total, 3); // the highest episode on disk
        }
        EXPECT_EQ(fs::exists(folder.path / "cover.gif"), !cancelled);
        EXPECT_EQ(fs::exists(folder.path / native_path(gbk("古城疑云.m3u8"))), !cancelled);
        for (const auto& entry : fs::directory_iterator(folder.path))
            EXPECT_NE(entry.path().filename().string().front(), '.'); // no copy left behind
    }
}

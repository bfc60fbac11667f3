#include "files/files.hpp"
#include "support/small_disk.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        char pattern[] = "/tmp/files-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    Text text() const { return text_path(path); }
};

void touch(const fs::path& p) {
    std::ofstream(p) << "x";
}

} // namespace

TEST(NaturalOrder, NumbersCompareByValue) {
    EXPECT_TRUE(natural_less(gbk("第2集"), gbk("第10集")));
    EXPECT_FALSE(natural_less(gbk("第10集"), gbk("第2集")));
    EXPECT_TRUE(natural_less("a", "b"));
    EXPECT_TRUE(natural_less("a1", "a1b"));
    EXPECT_TRUE(natural_less("x02", "x3"));
    EXPECT_FALSE(natural_less("same", "same"));
}

TEST(Listing, SubfoldersSkipDotNamesAndFilesInNaturalOrder) {
    TempFolder temp;
    fs::create_directory(temp.path / "书10");
    fs::create_directory(temp.path / "书2");
    fs::create_directory(temp.path / ".hidden");
    touch(temp.path / "file.mp3");
    auto folders = list_subfolders(temp.text());
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].name, gbk("书2"));
    EXPECT_EQ(folders[1].name, gbk("书10"));
    EXPECT_EQ(folders[1].native, temp.path / "书10");
    EXPECT_TRUE(list_subfolders(join_path(temp.text(), "missing")).empty());
}

TEST(Listing, FilesMatchExtensionIgnoringCaseAndKeepNativeNames) {
    TempFolder temp;
    touch(temp.path / "b_第10集.mp3");
    touch(temp.path / "b_第2集.MP3");
    touch(temp.path / "notes.txt");
    touch(temp.path / "한국어.mp3"); // not representable in GBK
    fs::create_directory(temp.path / "dir.mp3");
    auto files = list_files(temp.text(), ".mp3");
    ASSERT_EQ(files.size(), 3u);
    // The Korean name shows as "???.mp3" but keeps its native path.
    EXPECT_EQ(files[0].name, "???.mp3");
    EXPECT_EQ(files[0].native.filename(), fs::path("한국어.mp3"));
    EXPECT_EQ(files[1].name, gbk("b_第2集.MP3"));
    EXPECT_EQ(files[2].name, gbk("b_第10集.mp3"));
}

TEST(Folders, CreatedWithParents) {
    TempFolder temp;
    Text deep = join_path(join_path(temp.text(), gbk("新")), gbk("书名"));
    EXPECT_TRUE(create_folder(deep));
    EXPECT_TRUE(fs::is_directory(native_path(deep)));
    EXPECT_TRUE(create_folder(deep));
}

TEST(AtomicWrite, ReplacesWholeOrLeavesOldFile) {
    TempFolder temp;
    fs::path target = temp.path / "a.ini";
    ASSERT_TRUE(write_file_atomically(target, "old"));
    ASSERT_TRUE(write_file_atomically(target, "new content"));
    std::ifstream in(target);
    std::string s((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(s, "new content");
    if (geteuid() != 0) {
        fs::permissions(temp.path, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(write_file_atomically(target, "lost"));
    }
    EXPECT_FALSE(write_file_atomically(temp.path / "missing" / "a.ini", "x"));
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(temp.path))
        ++entries;
    EXPECT_EQ(entries, 1);
}

// Every write is whole or absent on a real full or read-only disk, and errno
// tells the caller which it was.
TEST(AtomicWrite, AFullOrReadOnlyDiskFailsSayingWhyAndKeepsTheOldFile) {
    SmallDisk full(64);
    SmallDisk read_only(64, true);
    if (!full.mounted() || !read_only.mounted())
        GTEST_SKIP() << "mounting a small disk needs the superuser";
    const fs::path file = full.path / "kept";
    ASSERT_TRUE(write_file_atomically(file, std::string(20000, 'a')));
    ASSERT_TRUE(rename_durably(file, full.path / "renamed"));
    ASSERT_TRUE(write_file_atomically(file, std::string(20000, 'a')));

    errno = 0;
    EXPECT_FALSE(write_file_atomically(file, std::string(100000, 'b')));
    EXPECT_EQ(write_failure_of(errno), WriteFailure::no_space) << errno;
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(20000, 'a'));
    EXPECT_EQ(std::distance(fs::directory_iterator(full.path), {}), 2); // no temporary left

    errno = 0;
    EXPECT_FALSE(write_file_atomically(read_only.path / "x", "x"));
    EXPECT_EQ(write_failure_of(errno), WriteFailure::cannot_write) << errno;
    errno = 0;
    EXPECT_FALSE(write_file_atomically(full.path / "missing" / "x", "x"));
    EXPECT_EQ(write_failure_of(errno), WriteFailure::cannot_write) << errno;
}

TEST(ProgramFolder, CanBePointedElsewhere) {
    Text real = program_folder();
    EXPECT_FALSE(real.empty());
    set_program_folder("/tmp/elsewhere");
    EXPECT_EQ(program_folder(), "/tmp/elsewhere");
    set_program_folder({});
    EXPECT_EQ(program_folder(), real);
}

// A file written as its bytes arrive: what reaches the disk, in which pieces,
// and in which order the flush and the rename come.
#include "files/streamed_file.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        char pattern[] = "/tmp/streamed-file-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string pattern_bytes(std::size_t size, char salt) {
    std::string bytes(size, 0);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + std::size_t(salt) + i / 4093);
    return bytes;
}

constexpr std::int64_t smallest_write = 64 * 1024;

} // namespace

TEST(StreamedFile, PiecesOfAnySizeGoOutInLargeWritesWithTheFlushBeforeTheRename) {
    struct Case {
        const char* name;
        std::vector<std::size_t> pieces; // repeated until `size` bytes were given
        std::size_t size;
    };
    const std::vector<Case> cases = {
        {"single bytes, less than one write", {1}, 100000},
        {"pieces a network gives", {5000, 1448, 16384}, 9 * 1024 * 1024 + 123},
        {"pieces larger than a write", {300000, 7, 1 << 20}, 11 * 1024 * 1024},
        {"nothing", {1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        const std::string content = pattern_bytes(c.size, 'a');
        std::vector<FileEvent> events;
        std::int64_t written_at_sync = -1, written_back_at_sync = 0;
        {
            StreamedFile file([&](const FileEvent& e) { events.push_back(e); });
            ASSERT_TRUE(file.create(temp.path / ".part"));
            for (std::size_t at = 0, i = 0; at < c.size; ++i) {
                const std::size_t n = std::min(c.pieces[i % c.pieces.size()], c.size - at);
                ASSERT_TRUE(file.append(content.data() + at, n));
                at += n;
                EXPECT_EQ(file.size(), std::int64_t(at));
            }
            ASSERT_TRUE(file.finish_as(temp.path / "episode.mp3"));
        }
        EXPECT_EQ(read_all(temp.path / "episode.mp3"), content);
        EXPECT_FALSE(fs::exists(temp.path / ".part"));

        // Writes follow each other from the start; only the last may be small.
        std::int64_t written = 0, written_back = 0;
        std::vector<std::int64_t> write_sizes;
        for (const FileEvent& e : events) {
            switch (e.kind) {
            case FileEvent::wrote:
                EXPECT_EQ(e.offset, written);
                EXPECT_EQ(written_at_sync, -1) << "written after the flush";
                written += e.size;
                write_sizes.push_back(e.size);
                break;
            case FileEvent::writeback_started: // of bytes written, each once
                EXPECT_EQ(e.offset, written_back);
                written_back += e.size;
                EXPECT_LE(written_back, written);
                break;
            case FileEvent::flushed:
                written_at_sync = written;
                written_back_at_sync = written_back;
                break;
            case FileEvent::renamed:
                EXPECT_EQ(&e, &events.back()) << "the rename comes last";
                EXPECT_EQ(written_at_sync, std::int64_t(c.size)) << "renamed before the flush";
                break;
            }
        }
        EXPECT_EQ(written, std::int64_t(c.size));
        for (std::size_t i = 0; i + 1 < write_sizes.size(); ++i)
            EXPECT_GE(write_sizes[i], smallest_write) << "write " << i;
        // The flush finds at most a few megabytes not yet on their way to disk.
        EXPECT_LT(written_at_sync - written_back_at_sync,
                  StreamedFile::writeback_step + std::int64_t(StreamedFile::piece_size));
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2].kind, FileEvent::flushed);
        EXPECT_EQ(events.back().kind, FileEvent::renamed);
    }
}

// A resumed file keeps its bytes and grows after them; a file begun anew is a
// new file, which its identity tells from the one it replaced.
TEST(StreamedFile, AppendingContinuesTheFileAndCreatingBeginsANewOne) {
    TempFolder temp;
    const fs::path path = temp.path / ".part";
    const std::string first = pattern_bytes(300000, 'x'), second = pattern_bytes(5000, 'y');
    StreamedFile file;
    ASSERT_TRUE(file.create(path));
    const std::uint64_t first_file = file.identity();
    ASSERT_TRUE(file.append(first.data(), first.size()));
    ASSERT_TRUE(file.close());

    ASSERT_TRUE(file.open_to_append(path));
    EXPECT_EQ(file.identity(), first_file);
    EXPECT_EQ(file.size(), std::int64_t(first.size()));
    ASSERT_TRUE(file.append(second.data(), second.size()));
    ASSERT_TRUE(file.close()); // what is gathered goes out on close
    EXPECT_EQ(read_all(path), first + second);

    ASSERT_TRUE(file.create(path));
    EXPECT_NE(file.identity(), first_file);
    EXPECT_EQ(file.size(), 0);
    ASSERT_TRUE(file.close());
    EXPECT_EQ(read_all(path), "");

    // A rename that fails leaves the bytes where they were and says why.
    ASSERT_TRUE(file.open_to_append(path));
    ASSERT_TRUE(file.append(second.data(), second.size()));
    errno = 0;
    EXPECT_FALSE(file.finish_as(temp.path / "missing" / "episode.mp3"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(read_all(path), second);
}

// The covers kept as files for the desktop: one file per book, named for the
// viewer, replaced and forgotten with the cover.
#include "site/cover_files.hpp"
#include "files/files.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace std::literals;

std::string content_of(const Text& path) {
    std::ifstream in(native_path(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

Bytes bytes(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

TEST(CoverFiles, KeepsEachBooksCoverAsAFileUntilReplacedOrForgotten) {
    CoverFiles covers;
    const Text book = gbk("三体");
    EXPECT_TRUE(covers.file(book).empty());

    const struct {
        std::string_view picture;
        std::string_view ending;
    } cases[] = {{"GIF89a\x01\x00"sv, ".gif"},
                 {"\x89PNG\r\n\x1a\n"sv, ".png"},
                 {"\xFF\xD8\xFF\xE0"sv, ".jpg"},
                 {"BM\x00\x00"sv, ""}};
    Text previous;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ending);
        covers.keep(book, bytes(c.picture));
        const Text file = covers.file(book);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(std::filesystem::path(native_path(file)).extension().string(), c.ending);
        EXPECT_EQ(content_of(file), c.picture);
        if (!previous.empty() && previous != file) {
            EXPECT_FALSE(std::filesystem::exists(native_path(previous))); // replaced
        }
        previous = file;
    }

    const Text other = gbk("球状闪电");
    covers.keep(other, bytes("GIF87a"));
    EXPECT_NE(covers.file(other), covers.file(book));
    EXPECT_EQ(content_of(covers.file(book)), cases[3].picture);

    covers.keep(book, {}); // a book page without a cover
    EXPECT_TRUE(covers.file(book).empty());
    EXPECT_FALSE(std::filesystem::exists(native_path(previous)));
    EXPECT_FALSE(covers.file(other).empty());
}

} // namespace

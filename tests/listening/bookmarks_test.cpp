// The bookmarks and their GBK file on their own: added, renamed and removed
// per book, the automatic one replaced, notes kept on one line, and all of it
// read back by a new start.
#include "listening/bookmarks.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class BookmarksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("bookmarks-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path file() const { return folder / u8"书签.ini"; }
    std::string content() const {
        std::ifstream in(file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static Bookmark mark(int episode, std::int64_t at, const char* note = "", bool automatic = false) {
        const Text n = std::to_string(episode);
        return {gbk("第") + n + gbk("集"), "http://127.0.0.1:8080/" + n + ".mp3?key=a|b", {}, at,
                gbk(note), automatic};
    }
    static std::vector<std::int64_t> places(const std::vector<Bookmark>& marks) {
        std::vector<std::int64_t> at;
        for (const Bookmark& m : marks)
            at.push_back(m.automatic ? -m.position : m.position);
        return at;
    }
    fs::path folder;
};

const Text santi = gbk("三体");
const Text other = gbk("红楼梦");

// Each step acts on 三体's bookmarks; the places are listed as `of` gives
// them, an automatic one as a negative number.
TEST_F(BookmarksTest, AddRenameRemoveAndTheAutomaticOneKeepTheirOrder) {
    Bookmarks marks(file());
    enum Act { add, rename, remove };
    const struct {
        const char* name;
        Act act;
        Bookmark bookmark;
        std::size_t index;
        bool done;
        std::vector<std::int64_t> places;
    } steps[] = {
        {"first", add, mark(3, 1000, "开头"), 0, true, {1000}},
        {"second", add, mark(5, 2000), 0, true, {1000, 2000}},
        {"automatic comes first", add, mark(4, 7000, "", true), 0, true, {-7000, 1000, 2000}},
        {"automatic replaced", add, mark(4, 9000, "", true), 0, true, {-9000, 1000, 2000}},
        {"rename the second", rename, {}, 2, true, {-9000, 1000, 2000}},
        {"rename past the end", rename, {}, 3, false, {-9000, 1000, 2000}},
        {"remove the first", remove, {}, 1, true, {-9000, 2000}},
        {"remove past the end", remove, {}, 5, false, {-9000, 2000}},
        {"no episode", add, Bookmark{}, 0, false, {-9000, 2000}},
        {"negative place", add, mark(6, -50), 0, true, {-9000, 2000, 0}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        bool done = false;
        switch (s.act) {
        case add:
            done = marks.add(santi, gbk("/home/用户/有声书"), s.bookmark);
            break;
        case rename:
            done = marks.rename(santi, s.index, gbk("第二处"));
            break;
        case remove:
            done = marks.remove(santi, s.index);
            break;
        }
        EXPECT_EQ(done, s.done);
        EXPECT_EQ(places(marks.of(santi)), s.places);
    }
    EXPECT_TRUE(marks.of(other).empty());
    EXPECT_FALSE(marks.add(Text(), {}, mark(1, 1)));

    // A new start reads all of it back, the address with its "|" and the
    // renamed note included.
    ASSERT_TRUE(marks.save());
    Bookmarks again(file());
    const std::vector<Bookmark> back = again.of(santi);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back, marks.of(santi));
    EXPECT_EQ(back[1].note, gbk("第二处"));
    EXPECT_EQ(back[1].remote, "http://127.0.0.1:8080/5.mp3?key=a|b");
    EXPECT_EQ(back[0].label, gbk("第4集"));
    EXPECT_EQ(again.save_folder(santi), gbk("/home/用户/有声书"));
    EXPECT_NE(content().find(gbk("[书签:三体]\r\n保存=/home/用户/有声书\r\n自动集=第4集\r\n自动位置=9000\r\n")),
              std::string::npos)
        << content();
}

TEST_F(BookmarksTest, BooksKeepTheirOwnAndAFileComesBackPerBook) {
    {
        Bookmarks marks(file());
        EXPECT_TRUE(marks.of(santi).empty()); // no file yet
        ASSERT_TRUE(marks.add(santi, {}, mark(1, 100)));
        ASSERT_TRUE(marks.add(other, {}, mark(2, 200)));
        ASSERT_TRUE(marks.add(other, {}, mark(2, 300, "", true)));
        Bookmark on_disk{gbk("第9集"), {}, gbk("/home/用户/有声书/红楼梦/第9集.mp3"), 400, {}, false};
        ASSERT_TRUE(marks.add(other, {}, on_disk));
        ASSERT_TRUE(marks.save());
    }
    Bookmarks again(file());
    EXPECT_EQ(places(again.of(santi)), (std::vector<std::int64_t>{100}));
    EXPECT_EQ(places(again.of(other)), (std::vector<std::int64_t>{-300, 200, 400}));
    EXPECT_EQ(again.of(other)[2].address(), gbk("/home/用户/有声书/红楼梦/第9集.mp3"));
}

TEST(BookmarkNote, StaysOnOneShortLine) {
    const Text long_note = gbk(std::string(150, 'a').c_str()) + gbk("书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签书签");
    const struct {
        Text note, kept;
    } cases[] = {
        {gbk("  伏笔  "), gbk("伏笔")},
        {gbk("第一行\r\n第二行\t尾"), gbk("第一行  第二行 尾")},
        {"", ""},
        // 150 ASCII bytes and then two-byte characters: cut at 200, between two.
        {long_note, long_note.substr(0, 200)},
        {gbk(std::string(149, 'a').c_str()) + long_note.substr(150), (gbk(std::string(149, 'a').c_str()) + long_note.substr(150)).substr(0, 199)},
    };
    for (const auto& c : cases) {
        const Text kept = bookmark_note(c.note);
        EXPECT_EQ(kept, c.kept);
        EXPECT_LE(kept.size(), Bookmarks::note_limit);
    }
}

} // namespace

// The main window's place file: what was written reads back; a damaged file
// reads as no place at all, so the window opens at its default.
#include "settings/window_place.hpp"

#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class WindowPlaceFile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("window-place-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        file = folder / "place.ini";
    }
    void TearDown() override { fs::remove_all(folder); }
    void write(const std::string& content) const { std::ofstream(file, std::ios::binary) << content; }
    fs::path folder, file;
};

TEST_F(WindowPlaceFile, WhatWasWrittenReadsBack) {
    EXPECT_FALSE(read_window_place(file)); // no file yet
    for (const WindowPlace& place :
         {WindowPlace{50, 50, 591, 653, false}, WindowPlace{-1200, 0, 1920, 1000, true}}) {
        ASSERT_TRUE(write_window_place(file, place));
        EXPECT_EQ(read_window_place(file), place);
    }
}

TEST_F(WindowPlaceFile, ADamagedPlaceReadsAsNone) {
    // The section and the key, with `value` after the equals sign.
    auto place_line = [](const char* value, const char* ending) {
        std::string content("[");
        content.append(gbk("主窗口")).append("]\r\n").append(gbk("位置")).append("=");
        return content.append(value).append(ending);
    };
    for (const char* value : {"", "1,2,3", "1,2,3,4,5", "a,2,3,4", "1,2,0,4", "1,2,3,-4",
                              "1,2,3,4x", "99999999999,2,3,4"}) {
        SCOPED_TRACE(value);
        write(place_line(value, "\r\n"));
        EXPECT_FALSE(read_window_place(file));
    }
    write(place_line(" 10, 20 ,300,400", "\n"));
    EXPECT_EQ(read_window_place(file), (WindowPlace{10, 20, 300, 400, false}));
}

} // namespace

// A window is centred over what it belongs to, and kept whole on the free
// area when it fits there.
TEST(CentredPlace, CentresAndStaysOnTheFreeArea) {
    const QRect screen(0, 0, 1920, 1040);
    const struct {
        QSize outer;
        QRect over;
        QPoint at;
    } cases[] = {
        {{593, 780}, screen, {663, 130}},
        {{593, 780}, {0, 28, 1366, 740}, {386, 28}},      // taller than the area below a panel
        {{400, 300}, {100, 100, 800, 600}, {300, 250}},   // over its window
        {{400, 300}, {1700, 900, 400, 300}, {1520, 740}}, // a window at the corner
        {{400, 300}, {-600, -400, 400, 300}, {0, 0}},
    };
    for (const auto& c : cases) {
        const QRect free = c.over.y() == 28 ? QRect(0, 28, 1366, 740) : screen;
        EXPECT_EQ(centred_place(c.outer, c.over, free), c.at) << c.over.x() << "," << c.over.y();
    }
}

#include "playback/media_player.hpp"
#include <QTest>
#include <QTreeView>
#include "playback/player.hpp"
#include "window_fixture.hpp"

#include <QListWidget>

namespace fs = std::filesystem;

namespace {
fs::path under(const fs::path& folder, const char* utf8_name) {
    return folder / native_path(gbk(utf8_name));
}
} // namespace

class BookFolders : public WindowFixture {
  protected:
    std::vector<Text> folder_names() const {
        std::vector<Text> names;
        auto* list = control<QListWidget>("超级列表框2");
        for (int i = 0; i < list->count(); ++i)
            names.push_back(from_qstring(list->item(i)->text()));
        return names;
    }
    // The user clicks a book in the book-folder list.
    void click_folder(const char* utf8_name) const {
        auto* list = control<QListWidget>("超级列表框2");
        auto found = list->findItems(to_qstring(gbk(utf8_name)), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << utf8_name;
        QApplication::processEvents(); // lets the list lay its items out
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found[0]).center());
    }
    std::vector<Text> row(int r) const {
        return {window->episodes().cell(r, 0), window->episodes().cell(r, 1), window->episodes().cell(r, 2), window->episodes().cell(r, 3)};
    }
};

TEST_F(BookFolders, BookFoldersInNaturalOrderWithoutFilesOrHiddenNames) {
    fs::create_directory(under(save.path, "书10"));
    fs::create_directory(under(save.path, "书2"));
    fs::create_directory(save.path / ".cache");
    make_file(save.path / "loose.mp3");
    configure();
    open_window();
    // Both real folders are there: nothing is dropped on the assumption of "." and "..".
    EXPECT_EQ(folder_names(), (std::vector<Text>{gbk("书2"), gbk("书10")}));
    EXPECT_EQ(window->episodes().row_count(), 0);
}

TEST_F(BookFolders, SelectedBookShowsItsMp3FilesAsDownloadedRows) {
    const fs::path folder = under(save.path, "星海远航");
    make_file(under(folder, "星海远航_第10集.mp3"));
    make_file(under(folder, "星海远航_第2集.MP3"));
    make_file(folder / "notes.txt");
    make_file(folder / ".partial.mp3");
    fs::create_directory(folder / "extra.mp3");
    make_file(folder / "\xED\x95\x9C.mp3"); // a Hangul syllable: no GBK form
    configure();
    open_window();
    // Rows of a query are replaced; the download button is left as it was.
    add_row(gbk("第36集"));
    add_row(gbk("第37集"));
    click_folder("星海远航");

    // Numbered and ordered by their file names; a file without a number is
    // counted on after them.
    const Text base = join_path(save.text(), gbk("星海远航"));
    ASSERT_EQ(window->episodes().row_count(), 3);
    EXPECT_EQ(row(0), (std::vector<Text>{gbk("第2集"), join_path(base, gbk("星海远航_第2集.MP3")),
                                         "", gbk("已下载")}));
    EXPECT_EQ(row(1), (std::vector<Text>{gbk("第10集"), join_path(base, gbk("星海远航_第10集.mp3")),
                                         "", gbk("已下载")}));
    EXPECT_EQ(row(2),
              (std::vector<Text>{gbk("第3集"), join_path(base, "?.mp3"), "", gbk("已下载")}));
    // Each row keeps the file's own name, so the one GBK cannot spell still opens.
    EXPECT_EQ(episode_at(2).file, folder / "\xED\x95\x9C.mp3");
    EXPECT_TRUE(fs::is_regular_file(episode_at(2).file));
    EXPECT_EQ(episode_at(1).file, under(folder, "星海远航_第10集.mp3"));
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
}

TEST_F(BookFolders, EmptySaveFolderMeansTheMusicFolder) {
    HomeFolder home;
    make_file(under(home.default_save_folder(), "书甲/第1集.mp3"));
    ASSERT_TRUE(write_setting(gbk("默认保存路径"), ""));
    open_window();
    EXPECT_EQ(folder_names(), std::vector<Text>{gbk("书甲")});
    click_folder("书甲");
    ASSERT_EQ(window->episodes().row_count(), 1);
    EXPECT_EQ(episode_at(0).file,
              under(home.default_save_folder(), "书甲/第1集.mp3"));
}

// A new save folder counts once the settings window closes: the list shows
// the folders under it, and a selection reads from it.
TEST_F(BookFolders, AfterTheSettingsSavedAnotherFolderTheListShowsIt) {
    make_file(under(save.path, "书甲/old.mp3"));
    fs::create_directory(under(save.path, "书乙"));
    TempFolder moved;
    make_file(under(moved.path, "书甲/a.mp3"));
    make_file(under(moved.path, "书甲/b.mp3"));
    configure();
    open_window();
    EXPECT_EQ(save_folder_in_settings(moved.text()), std::vector<Text>{gbk("配置成功！")});

    EXPECT_EQ(folder_names(), std::vector<Text>{gbk("书甲")});
    click_folder("书甲");
    ASSERT_EQ(window->episodes().row_count(), 2);
    EXPECT_EQ(window->episodes().cell(0, 1), join_path(join_path(moved.text(), gbk("书甲")), "a.mp3"));
}

// The table reads nothing past its edges, and a row the session makes current
// is selected alone and plays nothing.
TEST_F(BookFolders, RowOperationsAtTheEdges) {
    configure();
    open_window();
    for (const char* label : {"a", "b", "c"})
        add_row(label);
    EXPECT_EQ(window->episodes().cell(0, 0) + window->episodes().cell(1, 0) + window->episodes().cell(2, 0), "abc");
    EXPECT_EQ(window->episodes().cell(5, 0), "");
    EXPECT_EQ(window->episodes().cell(1, 4), "");
    EXPECT_EQ(window->episodes().cell(-1, 0), "");

    auto* list = control<QTreeView>("超级列表框1");
    emit window->session().currentChanged(window->episodes().id_at(2));
    emit window->session().currentChanged(window->episodes().id_at(0));
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    QTest::qWait(50);
    EXPECT_EQ(control<MediaPlayer>("播放器1")->player().URL(), "");
}

// A click or Enter on the book already opened opens it again, after a query or
// anything else replaced its rows.
TEST_F(BookFolders, AClickOrEnterOnTheOpenedBookOpensItAgain) {
    make_file(under(save.path, "书甲/a.mp3"));
    configure();
    open_window();
    click_folder("书甲");
    ASSERT_EQ(window->episodes().row_count(), 1);
    window->session().episodes().clear(); // as a query does
    QTest::qWait(20);
    click_folder("书甲");
    EXPECT_EQ(window->episodes().row_count(), 1);
    window->session().episodes().clear();
    auto* list = control<QListWidget>("超级列表框2");
    list->setFocus();
    QTest::qWait(20);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(window->episodes().row_count(), 1);
}

#include "catalogue/book_page.hpp"
#include "playback/media_player.hpp"
#include "window_fixture.hpp"

#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QTreeView>

namespace {

struct Placement {
    const char* name;
    const char* kind;
    QRect geometry;
};

// Every visible control, in the order the window stores them.
const Placement placements[] = {
    {"按钮3", "QPushButton", {536, 200, 40, 24}},
    {"超级列表框2", "QListWidget", {472, 232, 104, 408}},
    {"编辑框3", "QLineEdit", {528, 112, 48, 24}},
    {"编辑框2", "QLineEdit", {408, 112, 104, 24}},
    {"标签4", "QLabel", {528, 88, 48, 24}},
    {"标签3", "QLabel", {408, 88, 96, 24}},
    {"播放器1", "MediaPlayer", {264, 144, 312, 45}},
    {"图片框2", "QLabel", {264, 88, 136, 48}},
    {"按钮2", "QPushButton", {472, 200, 48, 24}},
    {"图片框1", "QLabel", {160, 56, 92, 136}},
    {"标签2", "QLabel", {8, 56, 152, 136}},
    {"超级链接框1", "QLabel", {280, 56, 224, 24}},
    {"标签1", "QLabel", {8, 24, 32, 24}},
    {"超级列表框1", "QTreeView", {8, 200, 456, 440}},
    {"按钮1", "QPushButton", {512, 56, 64, 24}},
    {"编辑框1", "QLineEdit", {40, 24, 536, 24}},
};

} // namespace

using MainWindowTest = WindowFixture;

TEST_F(MainWindowTest, EveryControlIsInPlaceWithItsInitialContents) {
    window = std::make_unique<MainWindow>(); // created, not yet shown
    for (const Placement& p : placements) {
        auto* widget = control<QWidget>(p.name);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(widget->inherits(p.kind)) << p.name << " " << widget->metaObject()->className();
        EXPECT_EQ(widget->geometry(), p.geometry) << p.name;
    }
    EXPECT_EQ(text_of<QPushButton>("按钮3"), gbk("下载"));
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_EQ(text_of<QPushButton>("按钮2"), gbk("配置"));
    EXPECT_EQ(text_of<QPushButton>("按钮1"), gbk("查询"));
    EXPECT_EQ(text_of<QLineEdit>("编辑框3"), "10");
    EXPECT_EQ(text_of<QLineEdit>("编辑框2"), "35");
    EXPECT_EQ(text_of<QLabel>("标签1"), gbk("网址："));
    for (const char* empty : {"标签2", "标签3", "标签4"})
        EXPECT_EQ(text_of<QLabel>(empty), "") << empty;
    EXPECT_TRUE(control<QLabel>("图片框1")->pixmap().isNull());
    Text sample = text_of<QLineEdit>("编辑框1");
    EXPECT_EQ(sample.rfind("https://", 0), 0u);
    EXPECT_NE(sample.find("/yousheng/28946/play_28946_31.htm"), Text::npos);
    EXPECT_FALSE(window->windowTitle().isEmpty());

    auto* timer = window->findChild<QTimer*>(to_qstring(gbk("时钟1")));
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 300);
    EXPECT_TRUE(timer->isActive());

    auto* episodes = control<QTreeView>("超级列表框1");
    EXPECT_EQ(episodes->model()->rowCount(), 0);
    EXPECT_FALSE(episodes->rootIsDecorated());
    EXPECT_FALSE(episodes->isHeaderHidden());
    const char* headers[] = {"集数", "网址", "时长", "状态"};
    const int widths[] = {50, 300, 50, 50};
    ASSERT_EQ(episodes->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(from_qstring(episodes->model()->headerData(c, Qt::Horizontal).toString()),
                  gbk(headers[c]));
        EXPECT_EQ(episodes->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(control<QListWidget>("超级列表框2")->count(), 0);

    // The logo: our own single-frame 190 x 70 GIF, fitted into its box.
    QImageReader logo(":/catalogue/logo.gif");
    EXPECT_EQ(logo.format(), "gif");
    EXPECT_EQ(logo.size(), QSize(190, 70));
    EXPECT_EQ(logo.imageCount(), 1);
    QPixmap shown = control<QLabel>("图片框2")->pixmap();
    EXPECT_FALSE(shown.isNull());
    EXPECT_LE(shown.width(), 136);
    EXPECT_LE(shown.height(), 48);
}

TEST_F(MainWindowTest, WithoutConfigurationItOpensEmptyAndLoadsNothing) {
    HomeFolder home;
    std::filesystem::create_directories(home.default_save_folder() / native_path(gbk("书甲")));
    open_window();
    EXPECT_EQ(window->frameGeometry().size(), QSize(593, 698));
    EXPECT_EQ(text_of<QLineEdit>("编辑框1"), "");
    EXPECT_EQ(text_of<QLabel>("标签2"), "");
    EXPECT_TRUE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(window->episodes().row_count(), 0);
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_EQ(window->startup_save_folder, "");
    // The empty save folder stands for the music folder's 有声书.
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    EXPECT_EQ(from_qstring(folders->item(0)->text()), gbk("书甲"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(site->page_requests(), 0);
}

TEST_F(MainWindowTest, StoredAddressLoadsOnceAtStartAndBuildsNoRows) {
    configure(address());
    open_window();
    EXPECT_EQ(text_of<QLineEdit>("编辑框1"), address());
    EXPECT_EQ(window->startup_save_folder, save.text());
    EXPECT_EQ(window->book.title, book.title);
    EXPECT_EQ(window->book.book_id, book.book_id);
    EXPECT_EQ(text_of<QLabel>("标签2"), information_text(window->book));
    EXPECT_EQ(text_of<QLabel>("标签3"), gbk("开始：？/共120集"));
    EXPECT_EQ(text_of<QLabel>("标签4"), gbk("跨度"));
    EXPECT_FALSE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(window->episodes().row_count(), 0);
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_TRUE(dialogs.messages.empty());
    // Putting the stored address into the box did not load a second time.
    EXPECT_EQ(site->page_requests(), 1);
    EXPECT_EQ(site->cover_requests(), 1);
    // The hyperlink leads to the home page of the book's site.
    Text link = text_of<QLabel>("超级链接框1");
    EXPECT_NE(link.find("href=\"https://" + site->catalogue_host() + "/\""), Text::npos) << link;
    EXPECT_EQ(window->catalogue_host(), site->catalogue_host());
}

TEST_F(MainWindowTest, SettingsWindowIsModalAndChangesNothingInTheMainWindow) {
    configure(address());
    open_window();
    Text info = text_of<QLabel>("标签2");
    TempFolder other;
    bool was_modal = false;
    dialogs.on_dialog = [&](QWidget* dialog) {
        was_modal = dialog->isModal() && dialog->parentWidget() == window.get();
        DialogDriver::close_later(dialog);
    };
    QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
    EXPECT_TRUE(was_modal);

    EXPECT_EQ(save_folder_in_settings(other.text()), std::vector<Text>{gbk("配置成功！")});
    EXPECT_EQ(read_setting(gbk("默认保存路径")), other.text());
    EXPECT_EQ(window->startup_save_folder, save.text()); // read once, at creation
    EXPECT_EQ(text_of<QLabel>("标签2"), info);
    EXPECT_EQ(site->page_requests(), 1);
}

// The start and span boxes begin from the start and count the settings window
// stores, or from 35 and 10.
TEST_F(MainWindowTest, RangeBoxesStartFromTheStoredStartAndCount) {
    struct Case {
        const char *start, *count, *start_box, *span_box;
    } const cases[] = {{"", "", "35", "10"}, {"100", "5", "100", "5"}, {"2.5", "", "2.5", "10"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        configure();
        ASSERT_TRUE(write_setting(gbk("显示与下载开始集数"), c.start));
        ASSERT_TRUE(write_setting(gbk("默认显示集数"), c.count));
        open_window();
        EXPECT_EQ(text_of<QLineEdit>("编辑框2"), c.start_box);
        EXPECT_EQ(text_of<QLineEdit>("编辑框3"), c.span_box);
    }
}

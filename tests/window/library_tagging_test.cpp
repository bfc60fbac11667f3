// "写入标签" in the library's context menu: the chosen book's files are tagged
// while the window answers, and the status bar says how it went.
#include "tagging/episode_tags.hpp"
#include "window/library_tagging.hpp"
#include "window_fixture.hpp"

#include <QAction>
#include <QListWidget>
#include <QLabel>

#include <fstream>

namespace fs = std::filesystem;

class LibraryTagging : public WindowFixture {};

TEST_F(LibraryTagging, TheChosenBookIsTaggedFromItsMenu) {
    const fs::path book_folder = save.path / native_path(gbk("旧书"));
    fs::create_directories(book_folder);
    const Bytes audio = silent_mp3();
    for (int n : {1, 2})
        std::ofstream(book_folder / native_path(gbk("旧书_第") + std::to_string(n) + gbk("集.mp3")),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(audio.data()), std::streamsize(audio.size()));
    configure();
    open_window();
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    folders->setCurrentRow(0);
    QAction* tag = folders->findChild<QAction*>(QStringLiteral("写入标签"));
    ASSERT_TRUE(tag);
    EXPECT_TRUE(folders->actions().contains(tag)); // in the context menu
    tag->trigger();
    auto* status = control<QLabel>("load_status");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status->text().contains(to_qstring(gbk("已写入标签"))); }, 30000));
    EXPECT_EQ(status->text(), to_qstring(gbk("《旧书》已写入标签 2 集")));
    EXPECT_EQ(tag->text(), to_qstring(gbk("写入标签")));
    for (int n : {1, 2}) {
        const auto tagged = tagged_book(book_folder / native_path(gbk("旧书_第") + std::to_string(n) +
                                                               gbk("集.mp3")));
        ASSERT_TRUE(tagged.has_value());
        EXPECT_EQ(tagged->album, gbk("旧书"));
        EXPECT_EQ(tagged->total, 2);
    }
    EXPECT_TRUE(fs::exists(book_folder / native_path(gbk("旧书.m3u8"))));
}

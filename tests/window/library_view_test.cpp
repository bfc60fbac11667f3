// The library list: when a book was last listened to, said shortly, and a
// list that reorders under the user without choosing another book.
#include "window/library_view.hpp"
#include "window_fixture.hpp"

#include "site/download_paths.hpp"

#include <QAbstractButton>
#include <QAction>
#include <QListWidget>
#include <QTimeZone>

#include <fstream>

TEST(LibraryView, ListenedWhenIsSaidShortly) {
    const QTimeZone zone = QTimeZone::utc();
    const QDateTime now(QDate(2026, 12, 9), QTime(21, 40), zone);
    struct Case {
        QDateTime then;
        const char* said;
    };
    const Case cases[] = {
        {QDateTime(QDate(2026, 12, 9), QTime(0, 5), zone), "今天 00:05"},
        {QDateTime(QDate(2026, 12, 8), QTime(23, 59), zone), "昨天 23:59"},
        {QDateTime(QDate(2026, 1, 1), QTime(8, 0), zone), "1月1日"},
        {QDateTime(QDate(2025, 12, 31), QTime(8, 0), zone), "2025年12月31日"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(listened_when(c.then.toSecsSinceEpoch(), now), to_qstring(gbk(c.said)));
    EXPECT_EQ(listened_when(0, now), QString());
}

class LibraryList : public WindowFixture {};

// A new book folder comes in above the one the user chose: the choice and the
// current item stay with that book, and no book opens by itself.
TEST_F(LibraryList, TheChosenBookStaysChosenWhenTheListReorders) {
    for (const char* name : {"b", "c"}) {
        std::filesystem::create_directories(save.path / name);
        std::ofstream(save.path / name / (std::string(name) + "_1.mp3")) << "x";
    }
    configure();
    open_window();
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 2);
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {},
                      folders->visualItemRect(folders->item(1)).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->session().episodes().size() == 1; }));
    const Text opened = window->session().episodes().at(0)->local;

    std::filesystem::create_directories(save.path / "a");
    window->session().list_book_folders();
    QTest::qWait(50);
    ASSERT_EQ(folders->count(), 3);
    ASSERT_EQ(folders->selectedItems().size(), 1);
    EXPECT_EQ(folders->selectedItems()[0]->text(), QStringLiteral("c"));
    EXPECT_EQ(folders->currentItem()->text(), QStringLiteral("c"));
    EXPECT_EQ(window->session().episodes().at(0)->local, opened);
}

// Following a book with nothing downloaded puts it in the library as followed;
// "检查更新" in the context menu is offered for that entry alone, and fetches
// what was published since.
TEST_F(LibraryList, AFollowedBookIsListedAndOffersItsUpdateCheck) {
    std::filesystem::create_directories(save.path / "b");
    std::ofstream(save.path / "b" / "b_1.mp3") << "x";
    configure(address());
    open_window();
    auto* folders = control<QListWidget>("超级列表框2");
    auto* follow = window->findChild<QAbstractButton*>(QStringLiteral("follow_switch"));
    ASSERT_TRUE(follow);
    QTest::mouseClick(follow, Qt::LeftButton);
    const QString title = to_qstring(book_name(book.title));
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders->count() == 2; }));
    QAction* check = nullptr;
    for (QAction* action : folders->actions())
        if (action->objectName() == QStringLiteral("检查更新"))
            check = action;
    ASSERT_TRUE(check);

    SampleBook grown = book;
    grown.episode_total += 1;
    site->add_book(grown);
    struct Case {
        QString entry;
        bool offered;
    };
    const Case cases[] = {{QStringLiteral("b"), false}, {title, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        const auto found = folders->findItems(c.entry, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        if (c.offered) {
            EXPECT_TRUE(found[0]->data(FolderProgressDelegate::progress_role)
                            .toString().contains(QString::fromUtf8("追更")));
        }
        folders->clearSelection();
        found[0]->setSelected(true);
        QApplication::processEvents();
        EXPECT_EQ(check->isEnabled(), c.offered);
    }
    check->trigger();
    const auto file = native_path(downloaded_file_path(
        save.text(), book.title, gbk("第") + number_to_text(grown.episode_total) + gbk("集")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::is_regular_file(file); }, 20000));
}

// A long title takes no more lines than a short one: each entry is its title
// over its counts, cut at the list's edge, with the whole in its tooltip.
TEST_F(LibraryList, AnEntryIsTwoLinesWhateverItsTitle) {
    const std::string long_title = gbk("一本名字很长很长很长很长很长很长很长很长的有声小说");
    for (const std::string& name : {std::string("b"), long_title}) {
        std::filesystem::create_directories(save.path / native_path(name));
        std::ofstream(save.path / native_path(name) / native_path(name + "_1.mp3")) << "x";
    }
    configure();
    open_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 2);
    const auto found = folders->findItems(to_qstring(long_title), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    const QListWidgetItem* other = folders->item(found[0] == folders->item(0) ? 1 : 0);
    for (const QSize& size : {window->size(), window->size() + QSize(600, 300)}) {
        window->resize(size);
        QApplication::processEvents();
        const QRect entry = folders->visualItemRect(found[0]);
        EXPECT_EQ(entry.height(), folders->visualItemRect(other).height());
        EXPECT_LE(entry.height(), std::max(folders->iconSize().height(),
                                           2 * folders->fontMetrics().lineSpacing()) + 12);
        EXPECT_LE(entry.right(), folders->viewport()->width());
    }
    EXPECT_TRUE(found[0]->toolTip().startsWith(to_qstring(long_title)));
    EXPECT_EQ(found[0]->toolTip().count(QChar('\n')), 1); // and its counts below
}

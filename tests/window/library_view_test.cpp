// The library list: when a book was last listened to, said shortly, and a
// list that reorders under the user without choosing another book.
#include "window/library_view.hpp"
#include "window_fixture.hpp"

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

#include "site/book_page.hpp"
#include "http/request_headers.hpp"
#include "pattern/page_text.hpp"
#include "window_fixture.hpp"

#include <QLabel>

namespace {

// What the window shows of the loaded book.
struct Shown {
    Text information, start, span, link;
    qint64 cover;
    bool operator==(const Shown&) const = default;
};

} // namespace

class BookPageView : public WindowFixture {
  protected:
    Shown shown() const {
        return {text_of<QLabel>("标签2"), text_of<QLabel>("标签3"), text_of<QLabel>("标签4"),
                text_of<QLabel>("超级链接框1"), control<QLabel>("图片框1")->pixmap().cacheKey()};
    }
    // Opens the window on the first sample book, loaded from the stored address.
    void open_on_book() {
        configure(address());
        open_window();
        ASSERT_EQ(window->session().book().title, book.title);
    }
};

TEST_F(BookPageView, PastedAddressLoadsTheBookWithItsCoverFitted) {
    configure();
    open_window();
    EXPECT_EQ(site->page_requests(), 0);
    paste_address(address(7));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(site->page_requests(), 1);
    const BookInfo& b = window->session().book();
    EXPECT_EQ(b.book_id, book.book_id);
    EXPECT_EQ(b.current_episode, "7");
    EXPECT_EQ(b.episode_total, "120");
    EXPECT_EQ(b.category, book.category);
    EXPECT_EQ(b.title, book.title);
    EXPECT_FALSE(b.narrator.empty());
    EXPECT_FALSE(b.status.empty());
    // The site writes the author's name twice (link title and text); it shows once.
    EXPECT_NE(b.author, "");
    EXPECT_EQ(b.author + b.author, chinese_only(text_between(b.page_text, gbk("作者："),
                                                             gbk("状态："), std::nullopt, true)));
    EXPECT_EQ(text_of<QLabel>("标签2"), information_text(b));
    EXPECT_EQ(text_of<QLabel>("标签3"), gbk("开始：？/共120集"));

    // The cover is scaled into its box keeping its proportions.
    QPixmap cover = control<QLabel>("图片框1")->pixmap();
    QImage original = QImage::fromData(sample_cover_gif(book.title).data(),
                                       int(sample_cover_gif(book.title).size()));
    ASSERT_FALSE(cover.isNull());
    ASSERT_FALSE(original.isNull());
    EXPECT_TRUE(cover.width() == 92 || cover.height() == 136);
    EXPECT_LE(cover.width(), 92);
    EXPECT_LE(cover.height(), 136);
    EXPECT_NEAR(double(cover.width()) / cover.height(),
                double(original.width()) / original.height(), 0.05);
    EXPECT_EQ(window->episodes().row_count(), 0);
}

// Typing loads once the keys pause, with no message for the text on its way;
// Enter loads at once.
TEST_F(BookPageView, ATypedAddressLoadsOnceTypingPausesAndEnterLoadsAtOnce) {
    configure();
    open_window();
    auto* box = control<QLineEdit>("编辑框1");
    box->setFocus();
    QTest::keyClicks(box, to_qstring(address(7)), Qt::NoModifier, 120);
    ASSERT_TRUE(wait_for_book_page());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_GE(site->page_requests(), 1);
    EXPECT_LE(site->page_requests(), 3);
    EXPECT_EQ(window->session().book().current_episode, "7");

    const int before = site->page_requests();
    QTest::keyClick(box, Qt::Key_End);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(box, Qt::Key_Left); // before ".htm"
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, "8");
    EXPECT_FALSE(window->session().book_load().loading()); // waits for a pause
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(window->session().book_load().loading());
    ASSERT_TRUE(wait_for_book_page());
    EXPECT_EQ(window->session().book().current_episode, "8");
    EXPECT_EQ(site->page_requests(), before + 1);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_NE(text_of<QLabel>("标签2").find(gbk("当前第 8 集 共 120 集")), Text::npos);
}

// A page that never answers: the window goes on answering, a newer address
// replaces the load, and no message of the dropped one ever shows.
TEST_F(BookPageView, AHangingPageLeavesTheWindowAnsweringAndANewerAddressReplacesIt) {
    configure();
    open_window();
    paste_address(site->hanging_page_address(), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return site->page_requests() == 1; }, 20000));
    EXPECT_TRUE(window->session().book_load().loading());
    EXPECT_EQ(save_folder_in_settings(save.text()), std::vector<Text>{gbk("配置成功！")});
    EXPECT_TRUE(window->session().book_load().loading());

    paste_address(address(9));
    EXPECT_EQ(window->session().book().current_episode, "9");
    EXPECT_EQ(text_of<QLabel>("标签3"), gbk("开始：？/共120集"));
    EXPECT_FALSE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(dialogs.messages, std::vector<Text>{gbk("配置成功！")});
}

// Closing while the stored address, or a pasted one, hangs ends the load at
// once: the window goes without waiting for the server.
TEST_F(BookPageView, ClosingDuringAHangingLoadEndsItAtOnce) {
    for (const bool stored : {true, false}) {
        SCOPED_TRACE(stored ? "stored" : "pasted");
        configure();
        ASSERT_TRUE(write_setting(gbk("默认网址"), stored ? site->hanging_page_address() : ""));
        window = std::make_unique<MainWindow>();
        window->show(); // returns while the page hangs
        if (!stored)
            paste_address(site->hanging_page_address(), false);
        EXPECT_TRUE(window->session().book_load().loading());
        window->close();
        EXPECT_FALSE(window->session().book_load().loading());
        window.reset(); // its load's worker has given up, so this returns
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

// The cover comes after the book: the book shows while a slow cover is on its
// way, and a newer book's page and cover replace it.
TEST_F(BookPageView, ASlowCoverFollowsTheBookAndANewerBookReplacesIt) {
    configure();
    open_window();
    site->set_cover_delay(600000);
    paste_address(address(5), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return site->cover_requests() == 1; }, 20000));
    EXPECT_FALSE(text_of<QLabel>("标签2").empty());
    EXPECT_TRUE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_TRUE(window->session().book_load().loading());

    site->set_cover_delay(0);
    const SampleBook other = sample_books()[2];
    paste_address(site->play_page_address(other.book_id, 3));
    EXPECT_EQ(window->session().book().title, other.title);
    EXPECT_FALSE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(site->cover_requests(), 2);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(BookPageView, CapitalisedParameterNamesAreFound) {
    configure();
    open_window();
    const SampleBook capitalised = sample_books()[1];
    ASSERT_TRUE(capitalised.capitalised_markers);
    paste_address(site->play_page_address(capitalised.book_id, 2));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->session().book().title, capitalised.title);
    EXPECT_EQ(window->session().book().category, capitalised.category);
    EXPECT_EQ(text_of<QLabel>("标签3"), gbk("开始：？/共36集"));
}

TEST_F(BookPageView, EmptyOrUnreachableAddressAsksForAnAddressAndKeepsTheBook) {
    open_on_book();
    const Shown before = shown();
    const BookInfo loaded = window->session().book();

    auto* box = control<QLineEdit>("编辑框1");
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete); // typed empty: nothing is said
    ASSERT_TRUE(wait_for_book_page());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(control<QLabel>("load_status")->isVisible());
    QTest::keyClick(box, Qt::Key_Return); // Enter: said in a box
    ASSERT_TRUE(wait_for_book_page());
    EXPECT_TRUE(eventually([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.messages, std::vector<Text>{gbk("请输入网址！")});

    site->stop(); // the address is right, the site does not answer
    paste_address(address(40));
    EXPECT_EQ(dialogs.messages, (std::vector<Text>{gbk("请输入网址！"), gbk("无法打开书页！")}));
    // Below the message, the box says why.
    EXPECT_EQ(dialogs.details,
              (std::vector<Text>{gbk("网址栏是空的。"), gbk("无法连接到服务器。")}));

    EXPECT_EQ(shown(), before);
    EXPECT_EQ(window->session().book().page_text, "");
    EXPECT_EQ(window->session().book().title, loaded.title);
    EXPECT_EQ(window->session().book().current_episode, loaded.current_episode);
}

TEST_F(BookPageView, PageWithoutTitleAsksToCheckTheAddressAndKeepsTheDisplay) {
    open_on_book();
    const Shown before = shown();
    paste_address(site->home_address());
    EXPECT_EQ(dialogs.messages, std::vector<Text>{gbk("请核对网址是否正确！")});
    EXPECT_EQ(dialogs.details, std::vector<Text>{gbk("这个网页不是本网站的播放页。")});
    // The fields are the new page's, the display is still the previous book's.
    EXPECT_FALSE(window->session().book().page_text.empty());
    EXPECT_EQ(window->session().book().title, "");
    EXPECT_EQ(window->session().book().book_id, "");
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(site->cover_requests(), 1);
}

// A load the user did not ask for with a paste or Enter (one after a pause in
// typing, or the stored address at start) says how it went on the line under
// the address box, never in a box: the reason it failed, nothing once a book is
// in, nothing for an empty box. Enter says a failure in a box.
TEST_F(BookPageView, TypedAndStartingLoadsReportOnTheStatusLine) {
    configure(site->home_address()); // a page of the site, not a book's
    open_window();
    auto* status = control<QLabel>("load_status");
    auto* box = control<QLineEdit>("编辑框1");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(status->text().contains(to_qstring(gbk("请核对网址是否正确！"))))
        << status->text().toStdString();
    EXPECT_EQ(status->accessibleDescription(), status->text());

    const struct {
        Text typed;
        bool said;
        const char* reason; // in the status line, when said
    } cases[] = {
        {address(7), false, ""},
        {"http://127.0.0.1:9/yousheng/1/play_1_1.htm", true, "无法连接到服务器。"},
        {"", false, ""},
        {address(8), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, to_qstring(c.typed));
        ASSERT_TRUE(wait_for_book_page());
        QApplication::processEvents();
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(status->isVisible(), c.said);
        if (c.said) {
            EXPECT_TRUE(status->text().contains(to_qstring(gbk(c.reason))))
                << status->text().toStdString();
        }
    }
    EXPECT_EQ(window->session().book().current_episode, "8");

    // Enter on an address that fails: a box says so, the line says nothing.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, "http://127.0.0.1:9/yousheng/1/play_1_1.htm");
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(wait_for_book_page());
    EXPECT_TRUE(eventually([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.messages, std::vector<Text>{gbk("无法打开书页！")});
    EXPECT_FALSE(status->isVisible());
}

// The book session without a window, against the sample site: a page that
// loads or says why not, the episodes a query lists and a run downloads, the
// queue moving on by the player's own events, heard marks that outlive a
// download, the last list coming back, and a close that ends everything.
#include "session/book_session.hpp"

#include "listening/listening_session.hpp"
#include "playback/player.hpp"
#include "site/download_paths.hpp"
#include "support/site_fixture.hpp"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

class Session : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        configure();
        session = std::make_unique<BookSession>();
        session->downloads().set_double_press_interval(std::chrono::milliseconds(0));
        session->start();
    }
    void TearDown() override {
        session.reset();
        SiteFixture::TearDown();
    }
    static bool eventually(const std::function<bool()>& condition, int ms = 30000) {
        return QTest::qWaitFor(condition, ms);
    }
    void load(const Text& page) {
        session->load(page);
        ASSERT_TRUE(eventually([this] { return !session->loading(); }));
    }
    void list(const char* start, const char* span) {
        session->query(address(), start, span);
        ASSERT_TRUE(eventually([this] { return !session->querying(); }));
    }
    void download_all() {
        session->press_download();
        ASSERT_TRUE(eventually([this] { return !session->downloading(); }));
    }
    const Episode& at(int index) const { return *session->episodes().at(index); }
    EpisodeId id(int index) const { return session->episodes().id_at(index); }
    int state() const { return session->player().playState(); }

    std::unique_ptr<BookSession> session;
};

} // namespace

TEST_F(Session, ALoadShowsTheBookOrSaysWhyNot) {
    struct Case {
        const char* name;
        Text page;
        const char* message; // empty: the book is shown
        const char* reason;
    };
    const Case cases[] = {
        {"play page", address(), "", ""},
        {"empty address", "", "请输入网址！", "网址栏是空的。"},
        {"nothing listens", "https://127.0.0.1:1/yousheng/1/play_1_1.htm", "请输入网址！",
         "无法连接到服务器。"},
        {"not a play page", "https://" + site->catalogue_host() + "/", "请核对网址是否正确！", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSignalSpy shown(session.get(), &BookSession::bookShown);
        QSignalSpy failed(session.get(), &BookSession::loadFailed);
        load(c.page);
        if (*c.message == 0) {
            EXPECT_EQ(shown.count(), 1);
            EXPECT_EQ(failed.count(), 0);
            EXPECT_EQ(session->book().title, book.title);
            EXPECT_EQ(session->book_host(), site->catalogue_host());
            continue;
        }
        ASSERT_EQ(failed.count(), 1);
        EXPECT_EQ(shown.count(), 0);
        EXPECT_EQ(failed.at(0).at(0).value<Text>(), gbk(c.message));
        if (*c.reason) {
            EXPECT_EQ(failed.at(0).at(1).value<Text>(), gbk(c.reason));
        }
    }
}

// The query lists typed episodes in order; the run fetches each into its
// book's folder, and the button says what a press does at each step.
TEST_F(Session, AQueryListsEpisodesAndARunDownloadsThem) {
    load(address());
    QSignalSpy button(session.get(), &BookSession::downloadButtonChanged);
    QSignalSpy ended(session.get(), &BookSession::runEnded);
    list("35", "3");
    ASSERT_EQ(session->episodes().size(), 3);
    for (int i = 0; i < 3; ++i) {
        const Episode& e = at(i);
        EXPECT_EQ(e.ordinal, i + 1);
        EXPECT_EQ(e.label, gbk("第") + number_to_text(36 + i) + gbk("集"));
        EXPECT_EQ(e.state, DownloadState::not_on_disk);
        EXPECT_TRUE(e.local.empty());
        EXPECT_NE(e.remote.find("?key=" + site->episode_key(book.book_id, number_to_text(36 + i))),
                  Text::npos);
    }
    ASSERT_FALSE(button.isEmpty());
    EXPECT_EQ(button.last().at(0).value<DownloadSequence::Offer>(), DownloadSequence::Offer::download);
    EXPECT_TRUE(button.last().at(1).toBool());

    download_all();
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toInt(), 3);
    EXPECT_EQ(ended.at(0).at(1).toInt(), 0);
    for (int i = 0; i < 3; ++i) {
        const Episode& e = at(i);
        EXPECT_EQ(e.state, DownloadState::downloaded);
        EXPECT_EQ(e.local, downloaded_file_path(save.text(), book.title, e.label));
        EXPECT_TRUE(std::filesystem::is_regular_file(e.file));
        EXPECT_FALSE(e.remote.empty()); // the address stays beside the file
    }
    // The same range listed again is on disk already: nothing to fetch.
    list("35", "3");
    EXPECT_EQ(at(0).state, DownloadState::downloaded);
    EXPECT_EQ(at(0).address(), at(0).local);
}

// The player's end of an episode moves the queue on, with no timer; the queue
// ends at the last episode, and a new list while it is stopped starts at its top.
TEST_F(Session, TheQueueMovesOnByThePlayersEventsAndMarksWhatWasHeard) {
    load(address());
    list("35", "3");
    std::vector<Text> opened;
    QObject::connect(&session->player(), &Player::OpenStateChange, [&](int open_state) {
        if (open_state == Player::MediaChanging)
            opened.push_back(session->player().URL());
    });
    QSignalSpy current(session.get(), &BookSession::currentChanged);
    session->play(id(1));
    ASSERT_TRUE(eventually([&] { return at(2).heard && state() == Player::Stopped; }));
    EXPECT_EQ(opened, (std::vector<Text>{at(1).remote, at(2).remote}));
    EXPECT_EQ(current.count(), 1); // to the last episode, then no further
    EXPECT_EQ(current.at(0).at(0).value<EpisodeId>(), id(2));
    EXPECT_FALSE(at(0).heard);
    EXPECT_TRUE(at(1).heard);
    EXPECT_FALSE(at(2).playing);

    list("40", "2");
    ASSERT_TRUE(eventually([&] { return opened.size() == 3u; }));
    EXPECT_EQ(opened.back(), at(0).remote);
    EXPECT_EQ(session->current(), id(0));
}

// An episode heard from the Media host is heard in its file too: once
// downloaded it keeps its mark, and its book folder counts it.
TEST_F(Session, AHeardEpisodeStaysHeardOnceDownloaded) {
    load(address());
    list("35", "2");
    session->play(id(1));
    ASSERT_TRUE(eventually([&] { return at(1).heard && state() == Player::Stopped; }));
    download_all();
    ASSERT_EQ(at(1).state, DownloadState::downloaded);
    EXPECT_TRUE(at(1).heard);
    EXPECT_TRUE(session->listening().heard(at(1).local));
    session->list_book_folders();
    ASSERT_EQ(session->folders().size(), 1u);
    EXPECT_EQ(session->folders()[0].episodes, 2);
    EXPECT_EQ(session->folders()[0].heard, 1);

    // The folder's files come back as downloaded episodes, the heard one marked.
    session->open_book_folder(0);
    ASSERT_EQ(session->episodes().size(), 2);
    EXPECT_EQ(at(0).state, DownloadState::downloaded);
    EXPECT_FALSE(at(0).heard);
    EXPECT_TRUE(at(1).heard);
}

// The list listened to last comes back in the next session with its episode
// current; nothing plays until asked, and then that episode plays.
TEST_F(Session, TheLastListComesBackAndPlaysOnlyWhenAsked) {
    load(address());
    list("35", "4");
    session->play(id(2));
    ASSERT_TRUE(eventually([&] { return session->player().running(); }));
    const Text third = at(2).remote;
    session.reset();

    session = std::make_unique<BookSession>();
    QSignalSpy current(session.get(), &BookSession::currentChanged);
    session->start();
    ASSERT_EQ(session->episodes().size(), 4);
    ASSERT_EQ(current.count(), 1);
    EXPECT_EQ(session->current(), id(2));
    EXPECT_EQ(at(2).remote, third);
    EXPECT_EQ(at(2).book.title, book.title);
    QTest::qWait(200);
    EXPECT_EQ(state(), Player::Undefined);
    session->continue_listening();
    EXPECT_EQ(session->player().URL(), third);
}

// Closing ends a stalled transfer at once, keeps what arrived for a later run,
// and nothing plays or downloads afterwards.
TEST_F(Session, CloseEndsEverythingAtOnce) {
    load(address());
    list("35", "2");
    site->set_media_stall(true);
    session->press_download();
    ASSERT_TRUE(eventually([&] { return site->media_full_requests() == 1; }));
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    session->close();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(session->downloading());
    session->play(id(0));
    session->press_download();
    QTest::qWait(200);
    EXPECT_TRUE(session->player().URL().empty());
    EXPECT_EQ(site->media_full_requests(), 1);
}

// A save folder changed while the program runs is taken when the session is
// told: the book folders are listed from it and the next query saves there.
TEST_F(Session, ANewSaveFolderIsTakenForTheFoldersAndTheNextQuery) {
    TempFolder other;
    std::filesystem::create_directories(other.path / native_path(gbk("书乙")));
    ASSERT_TRUE(write_setting(gbk("默认保存路径"), other.text()));
    EXPECT_EQ(session->startup_save_folder(), save.text()); // until the session is told
    QSignalSpy listed(session.get(), &BookSession::foldersChanged);
    session->reread_save_folder();
    EXPECT_EQ(listed.count(), 1);
    EXPECT_EQ(session->startup_save_folder(), other.text());
    ASSERT_EQ(session->folders().size(), 1u);
    EXPECT_EQ(session->folders()[0].name, gbk("书乙"));

    load(address());
    list("35", "1");
    download_all();
    ASSERT_EQ(at(0).state, DownloadState::downloaded);
    EXPECT_EQ(at(0).local.rfind(other.text(), 0), 0u) << at(0).local;
    EXPECT_TRUE(std::filesystem::exists(native_path(at(0).local)));
}

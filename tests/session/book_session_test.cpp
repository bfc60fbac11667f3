// The book session without a window, against the sample site: a page that
// loads or says why not, the episodes a query lists and a run downloads, the
// queue moving on by the player's own events, heard marks that outlive a
// download, the last list coming back, bookmarks, and a close that ends
// everything.
#include "session/book_session.hpp"

#include "listening/listening_session.hpp"
#include "playback/listening_control.hpp"
#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "session/episode_query.hpp"
#include "site/download_paths.hpp"
#include "tagging/episode_tags.hpp"
#include "support/notification_service.hpp"
#include "support/site_fixture.hpp"
#include "text/qt_text.hpp"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

namespace {

// The bytes after a leading ID3v2 tag, by its header alone.
std::string audio_after_tag(const std::string& file) {
    if (file.compare(0, 3, "ID3") != 0)
        return file;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = size << 7 | std::uint8_t(file[std::size_t(i)]);
    return file.substr(size + 10 + ((std::uint8_t(file[5]) & 0x10) ? 10 : 0));
}

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
        // An address was typed: it is not asked for again.
        {"nothing listens", "https://127.0.0.1:1/yousheng/1/play_1_1.htm", "无法打开书页！",
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

    QSignalSpy folders(session.get(), &BookSession::foldersChanged);
    download_all();
    EXPECT_GE(folders.count(), 3); // the book folders follow every episode that lands
    ASSERT_EQ(session->folders().size(), 1u);
    EXPECT_EQ(session->folders()[0].episodes, 3);
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
    EXPECT_FALSE(session->downloads().run().summary().empty());

    // The run's line belongs to its book: another book listed clears it.
    const SampleBook other = sample_books()[1];
    load(site->play_page_address(other.book_id, 1));
    session->query(site->play_page_address(other.book_id, 1), "0", "2");
    ASSERT_TRUE(eventually([this] { return !session->querying(); }));
    EXPECT_TRUE(session->downloads().run().summary().empty());
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
    QSignalSpy moved(session.get(), &BookSession::movedOn);
    session->play(id(1));
    ASSERT_TRUE(eventually([&] { return at(2).heard && state() == Player::Stopped; }));
    EXPECT_EQ(opened, (std::vector<Text>{at(1).remote, at(2).remote}));
    EXPECT_EQ(current.count(), 0); // the queue's move is no choice of a row
    EXPECT_EQ(moved.count(), 1);   // to the last episode, then no further
    EXPECT_EQ(moved.at(0).at(0).value<EpisodeId>(), id(2));
    EXPECT_EQ(session->current(), id(2));
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

// A run cut by closing waits in its partial file: the list that comes back
// offers to go on, and going on asks only for the rest.
TEST_F(Session, AnEpisodeCutByClosingIsOfferedAgainAtTheNextStart) {
    load(address());
    list("35", "2");
    session->play(id(1)); // the list listened to comes back at the next start
    ASSERT_TRUE(eventually([&] { return session->player().running(); }));
    site->set_media_pacing(0, 512, 50);
    session->press_download();
    ASSERT_TRUE(eventually([&] { return at(0).received > 0; }));
    session->close();
    session.reset();

    site->set_media_pacing(0, 0, 0);
    session = std::make_unique<BookSession>();
    session->downloads().set_double_press_interval(std::chrono::milliseconds(0));
    QSignalSpy unfinished(session.get(), &BookSession::unfinishedFound);
    session->start();
    ASSERT_EQ(unfinished.count(), 1);
    EXPECT_EQ(unfinished.at(0).at(0).toInt(), 1);
    EXPECT_EQ(at(0).state, DownloadState::paused);
    EXPECT_GT(at(0).received, 0);
    EXPECT_TRUE(session->downloads().enabled());
    const int ranges = site->media_range_requests(); // the player asks by ranges too
    download_all();
    EXPECT_EQ(at(0).state, DownloadState::downloaded);
    EXPECT_EQ(site->media_range_requests() - ranges, 1);
    // Whole, and tagged: the host's audio after our tag, its length recorded.
    const Bytes bytes = site->episode_bytes(book.book_id, "36");
    std::ifstream in(at(0).file, std::ios::binary);
    EXPECT_EQ(audio_after_tag(std::string(std::istreambuf_iterator<char>(in), {})),
              audio_after_tag(std::string(bytes.begin(), bytes.end())));
    EXPECT_EQ(recorded_host_length(at(0).file), std::int64_t(bytes.size()));
}

// A followed book that grew while the program was closed gets exactly its new
// episodes at the next start, with no click, one notice naming the book, and
// nothing already on disk fetched again; a second check fetches nothing.
TEST_F(Session, AFollowedBookGetsItsNewEpisodesByItselfOnce) {
    NotificationService notices;
    ASSERT_TRUE(notices.registered());
    load(address());
    session->follow(true);
    EXPECT_TRUE(session->following());
    const int total = book.episode_total;
    session.reset();

    SampleBook grown = book;
    grown.episode_total = total + 3;
    site->add_book(grown);
    const auto file_of = [this](int n) {
        return native_path(downloaded_file_path(save.text(), book.title,
                                                gbk("第") + number_to_text(n) + gbk("集")));
    };
    const Bytes on_disk = site->episode_bytes(book.book_id, number_to_text(total + 2));
    make_file(file_of(total + 2), std::string(on_disk.begin(), on_disk.end()));

    session = std::make_unique<BookSession>();
    QSignalSpy checked(session.get(), &BookSession::followedChanged);
    session->start(); // checks the followed books by itself
    ASSERT_TRUE(eventually([&] { return notices.received().size() == 1u; }));
    EXPECT_EQ(notices.received()[0].body, QString::fromUtf8("《") + to_qstring(book.title) +
                                              QString::fromUtf8("》更新 2 集"));
    for (int n = total + 1; n <= total + 3; ++n)
        EXPECT_TRUE(std::filesystem::is_regular_file(file_of(n))) << n;
    EXPECT_FALSE(std::filesystem::exists(file_of(total)));
    EXPECT_EQ(site->media_full_requests(), 2);
    EXPECT_TRUE(session->episodes().empty()); // nothing the user sees changed
    ASSERT_TRUE(eventually([&] { return checked.count() >= 1; }));
    EXPECT_EQ(session->followed_books().find(book.title)->total_seen, total + 3);

    session->check_followed_books();
    ASSERT_TRUE(eventually([&] { return checked.count() >= 2; }));
    EXPECT_EQ(site->media_full_requests(), 2);
    EXPECT_EQ(notices.received().size(), 1u);
}

// A check that fails is said on the book's entry and tried at the next check.
TEST_F(Session, AFailingCheckIsNotedQuietlyAndTriedAgain) {
    load(address());
    session->follow(true);
    site->set_page_status(500);
    QSignalSpy checked(session.get(), &BookSession::followedChanged);
    session->check_followed_books();
    ASSERT_TRUE(eventually([&] { return checked.count() >= 1; }));
    EXPECT_FALSE(session->followed_books().find(book.title)->trouble.empty());
    site->set_page_status(0);
    session->check_followed_books();
    ASSERT_TRUE(eventually([&] { return checked.count() >= 2; }));
    EXPECT_TRUE(session->followed_books().find(book.title)->trouble.empty());
}

// The book shown last comes back at start from disk, details and cover, before
// any network answer: offline too.
TEST_F(Session, TheLastBookShowsAtStartWithoutTheNetwork) {
    configure(address());
    QSignalSpy first_cover(session.get(), &BookSession::coverArrived);
    load(address());
    ASSERT_TRUE(eventually([&] { return !first_cover.isEmpty(); }));
    session.reset();
    site->stop(); // offline

    session = std::make_unique<BookSession>();
    QSignalSpy shown(session.get(), &BookSession::bookShown);
    QSignalSpy cover(session.get(), &BookSession::coverArrived);
    session->start();
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(session->book().title, book.title);
    ASSERT_EQ(cover.count(), 1);
    EXPECT_EQ(cover.at(0).at(0).value<Bytes>(), first_cover.last().at(0).value<Bytes>());
    EXPECT_FALSE(cover.at(0).at(0).value<Bytes>().empty());
}

namespace {

// Episodes of about three minutes, long enough to jump more than a minute.
class Bookmarking : public Session {
  protected:
    Bookmarking() { site_options.episode_size = 3'000'000; }
    PlaybackEngine& engine() { return session->player().engine(); }
    // Playing `episode` steadily, somewhere in [from, to) seconds.
    bool playing_at(EpisodeId episode, int from, int to) {
        return eventually([&] {
            const qint64 at = engine().position();
            return session->playing() == episode && session->player().playState() == Player::Playing &&
                   engine().mediaStatus() == PlaybackEngine::LoadedMedia && at >= from * 1000 &&
                   at < to * 1000;
        });
    }
    std::vector<Bookmark> marks() const { return session->bookmarks(); }
    std::optional<Bookmark> manual() const {
        for (const Bookmark& m : marks())
            if (!m.automatic)
                return m;
        return std::nullopt;
    }
    std::size_t manual_index() const {
        const std::vector<Bookmark> all = marks();
        return std::size_t(std::find_if(all.begin(), all.end(), [](const Bookmark& m) { return !m.automatic; }) - all.begin());
    }
};

} // namespace

// A bookmark marks the place playing without stopping it; a jump of more than
// a minute leaves the automatic one where it started; choosing a bookmark plays
// its episode from its place, over the resume's own, also after a restart and
// from a list that lacks the episode.
TEST_F(Bookmarking, AddedListedChosenAndKeptAcrossARestart) {
    load(address());
    list("35", "3");
    QSignalSpy changed(session.get(), &BookSession::bookmarksChanged);
    EXPECT_FALSE(session->add_bookmark()); // nothing plays
    session->play(id(1));
    ASSERT_TRUE(playing_at(id(1), 0, 60));
    ASSERT_TRUE(eventually([&] { return engine().duration() > 150000 && engine().isSeekable(); }));
    EXPECT_TRUE(marks().empty());

    engine().setPosition(100000); // a jump: the automatic bookmark keeps where it began
    ASSERT_TRUE(playing_at(id(1), 100, 110));
    ASSERT_EQ(marks().size(), 1u);
    EXPECT_TRUE(marks()[0].automatic);
    EXPECT_LT(marks()[0].position, 60000);
    EXPECT_EQ(marks()[0].remote, at(1).remote);

    ASSERT_TRUE(session->add_bookmark(gbk("伏笔")));
    EXPECT_EQ(session->player().playState(), Player::Playing);
    ASSERT_TRUE(manual());
    EXPECT_EQ(manual()->label, gbk("第37集"));
    EXPECT_EQ(manual()->note, gbk("伏笔"));
    const std::int64_t place = manual()->position;
    EXPECT_GE(place, 100000);
    EXPECT_LT(place, 110000);
    EXPECT_GE(changed.count(), 2);

    // Later in the same episode, then another: the resume would start 第37集
    // at 150 s; the bookmark starts it at its own place.
    engine().setPosition(150000);
    ASSERT_TRUE(playing_at(id(1), 150, 160));
    session->play(id(2));
    ASSERT_TRUE(playing_at(id(2), 0, 60));
    ASSERT_TRUE(session->play_bookmark(manual_index()));
    ASSERT_TRUE(playing_at(id(1), place / 1000, place / 1000 + 10));
    EXPECT_EQ(session->current(), id(1));
    ASSERT_EQ(marks().size(), 2u);
    EXPECT_EQ(marks()[0].label, gbk("第38集")); // where the bookmark jumped from

    // The next start shows them for the book of the list that comes back.
    const std::vector<Bookmark> before = marks();
    session.reset();
    session = std::make_unique<BookSession>();
    session->start();
    EXPECT_EQ(session->shown_book(), book.title);
    EXPECT_EQ(marks(), before);

    // A list without 第37集: choosing the bookmark lists it and plays it there.
    load(address());
    list("40", "2");
    ASSERT_EQ(session->episodes().size(), 2);
    ASSERT_TRUE(session->play_bookmark(manual_index()));
    ASSERT_EQ(session->episodes().size(), 3);
    EXPECT_EQ(at(2).label, gbk("第37集"));
    EXPECT_EQ(at(2).book.title, book.title);
    ASSERT_TRUE(playing_at(id(2), place / 1000, place / 1000 + 10));

    // Renamed and removed, and so kept.
    ASSERT_TRUE(session->rename_bookmark(manual_index(), gbk("改过")));
    EXPECT_EQ(manual()->note, gbk("改过"));
    ASSERT_TRUE(session->remove_bookmark(manual_index()));
    EXPECT_FALSE(manual());
    EXPECT_FALSE(session->remove_bookmark(5));
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

// The library puts the book listened to last first, with the cover kept when
// the book was shown, across a restart; a book removed goes to the desktop's
// trash, is no longer followed, and its listed rows lose their files.
TEST_F(Session, TheLibraryOrdersByListeningAndSendsARemovedBookToTheTrash) {
    TempFolder home_data;
    const std::filesystem::path data = home_data.path / "share"; // not there yet
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::filesystem::path other = save.path / "0 other";
    std::filesystem::create_directories(other);
    std::ofstream(other / "0 other_1.mp3") << "x";

    QSignalSpy cover(session.get(), &BookSession::coverArrived);
    load(address());
    ASSERT_TRUE(eventually([&] { return !cover.isEmpty(); }));
    session->cover_shown(cover.last().at(0).value<Bytes>());
    list("35", "2");
    download_all();
    ASSERT_EQ(session->folders().size(), 2u);
    EXPECT_EQ(session->folders()[0].name, "0 other"); // never listened: natural order
    EXPECT_TRUE(session->folders()[0].cover.empty());
    EXPECT_FALSE(session->folders()[1].cover.empty());

    session->play(id(0));
    ASSERT_TRUE(eventually([&] { return session->folders()[0].name == book.title; }));
    session->follow(true);
    session.reset();
    session = std::make_unique<BookSession>();
    session->start();
    ASSERT_EQ(session->folders().size(), 2u);
    EXPECT_EQ(session->folders()[0].name, book.title);
    EXPECT_GT(session->folders()[0].last_listened, 0);
    EXPECT_FALSE(session->folders()[0].cover.empty());
    ASSERT_EQ(session->episodes().size(), 2);

    EXPECT_EQ(session->remove_book(0), "");
    EXPECT_FALSE(std::filesystem::exists(save.path / native_path(book_name(book.title))));
    EXPECT_TRUE(std::filesystem::exists(data / "Trash" / "files" /
                                        native_path(book_name(book.title))));
    EXPECT_EQ(session->followed_books().find(book.title), nullptr);
    ASSERT_EQ(session->folders().size(), 1u);
    EXPECT_EQ(session->folders()[0].name, "0 other");
    EXPECT_EQ(session->episodes().size(), 0); // the list held only its files
    // Nothing of it is shown any more, though its page was the last loaded.
    EXPECT_EQ(session->book().title, book.title);
    EXPECT_TRUE(session->shown_book_info().title.empty());
    EXPECT_TRUE(session->shown_cover_file().empty());
    EXPECT_FALSE(session->can_follow());
    unsetenv("XDG_DATA_HOME");
}

// A list that comes back at start holds addresses whose keys may have been
// used up since; downloading it asks the site for fresh ones, as a query's
// list does.
TEST_F(Session, AListThatCameBackRenewsAnExpiredKey) {
    configure(address());
    load(address());
    list("35", "2");
    site->set_media_single_use_keys(true);
    session->play(id(0));
    ASSERT_TRUE(eventually([&] { return at(0).heard; }));
    session.reset();

    session = std::make_unique<BookSession>();
    session->start();
    ASSERT_EQ(session->episodes().size(), 2);
    download_all();
    EXPECT_EQ(at(0).state, DownloadState::downloaded) << at(0).reason;
    EXPECT_EQ(at(1).state, DownloadState::downloaded) << at(1).reason;

    // Kept with its addresses, the list reads its downloads at the next start.
    session.reset();
    session = std::make_unique<BookSession>();
    session->start();
    ASSERT_EQ(session->episodes().size(), 2);
    EXPECT_EQ(at(1).state, DownloadState::downloaded);
    EXPECT_TRUE(std::filesystem::is_regular_file(at(1).file));
}

namespace {

// Episodes of about three minutes, playing steadily before anything is asked.
class LongEpisodes : public Bookmarking {
  protected:
    void play_first_of_two(bool until_playing = true) {
        load(address());
        list("35", "2");
        if (!watching)
            QObject::connect(&session->player(), &Player::OpenStateChange, [this](int open_state) {
                if (open_state == Player::MediaChanging)
                    opened.push_back(session->player().URL());
            });
        watching = true;
        session->play(id(0));
        if (!until_playing)
            return;
        ASSERT_TRUE(playing_at(id(0), 0, 60));
        ASSERT_TRUE(eventually([&] { return engine().duration() > 150000 && engine().isSeekable(); }));
    }
    std::optional<std::int64_t> sleep_left() { return session->listening_control().sleep_remaining(); }
    std::vector<Text> opened;
    bool watching = false;
};

} // namespace

// Only the end of an episode moves the queue on (the media's own end, or its
// outro), and so does an address that cannot be played; the user's ■ stops
// there, and ▶ goes on with that episode from where it stopped.
TEST_F(LongEpisodes, OnlyTheEndOfAnEpisodeMovesTheQueueOn) {
    struct Case {
        const char* name;
        std::function<void()> act; // null: the first episode cannot play
        bool moves_on;
    };
    const Case cases[] = {
        {"cannot play", nullptr, true},
        {"stop", [this] { session->player().controls().stop(); }, false},
        {"end of the media",
         [this] { engine().setPosition(engine().duration() - 1500); }, true},
        {"outro",
         [this] {
             session->listening_control().set_skips(0, 20);
             engine().setPosition(engine().duration() - 15000);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opened.clear();
        session->listening_control().set_skips(0, 0);
        site->set_media_fault_episode("36");
        site->set_media_status(c.act ? 0 : 404);
        play_first_of_two(bool(c.act));
        if (c.act) {
            engine().setPosition(30000);
            ASSERT_TRUE(playing_at(id(0), 30, 40));
            c.act();
        }
        if (c.moves_on) {
            ASSERT_TRUE(playing_at(id(1), 0, 60));
            EXPECT_EQ(opened, (std::vector<Text>{at(0).remote, at(1).remote}));
            EXPECT_EQ(session->current(), id(1));
            EXPECT_EQ(at(0).heard, bool(c.act));
            continue;
        }
        QTest::qWait(700);
        EXPECT_EQ(state(), Player::Stopped);
        EXPECT_FALSE(session->player().running());
        EXPECT_EQ(opened, std::vector<Text>{at(0).remote});
        EXPECT_EQ(session->current(), id(0));
        EXPECT_EQ(session->playing(), id(0));
        EXPECT_FALSE(at(0).heard);
        EXPECT_FALSE(at(0).playing);
        session->continue_listening();
        EXPECT_TRUE(playing_at(id(0), 30, 45));
        session->player().controls().stop();
    }
}

// The sleep timer counts only while an episode plays: chosen before, or held
// by a pause or a stop, it keeps what is left and goes on once playing does.
TEST_F(LongEpisodes, TheSleepTimerHoldsWhileNothingPlays) {
    struct Case {
        const char* name;
        bool chosen_before_playing;
        std::function<void()> halt; // null: it plays on
    };
    const Case cases[] = {
        {"chosen before playing", true, nullptr},
        {"paused", false, [this] { session->play_or_pause(id(0)); }},
        {"stopped", false, [this] { session->player().controls().stop(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session->listening_control().choose_sleep(0);
        session->player().controls().stop();
        if (c.chosen_before_playing) {
            session->listening_control().choose_sleep(15);
            QTest::qWait(600);
            EXPECT_EQ(sleep_left(), 15 * 60000);
        }
        play_first_of_two();
        if (!c.chosen_before_playing)
            session->listening_control().choose_sleep(15);
        if (c.halt) {
            c.halt();
            ASSERT_FALSE(session->player().running());
            const auto held = sleep_left();
            ASSERT_TRUE(held);
            QTest::qWait(1200);
            EXPECT_EQ(sleep_left(), held);
            session->continue_listening();
            ASSERT_TRUE(eventually([&] { return session->player().playState() == Player::Playing; }));
        }
        const auto from = sleep_left();
        ASSERT_TRUE(from);
        QTest::qWait(1200);
        ASSERT_TRUE(sleep_left());
        EXPECT_LT(*sleep_left(), *from - 900); // counting again
    }
}

// A range past the book's total is listed (a serial book grows) but reads as
// not out yet, the query says how many, and the run neither asks for them nor
// says "0/0 集" when nothing is left to fetch; once the book grows they are real.
TEST_F(Session, RowsPastTheTotalAreListedAsNotOutYet) {
    struct Case {
        const char* name;
        int total; // the book's episodes on the site
        const char* start;
        const char* span;
        std::vector<DownloadState> listed;
        const char* said;
        int fetched;
        const char* run; // the run's line afterwards
    };
    using S = DownloadState;
    const Case cases[] = {
        {"across the end", 120, "117", "5", {S::not_on_disk, S::not_on_disk, S::not_on_disk, S::not_out, S::not_out},
         "已列出 5 集，2 集尚未上线", 3, "3/3 集"},
        {"all past the end", 120, "120", "3", {S::not_out, S::not_out, S::not_out},
         "已列出 3 集，3 集尚未上线", 0, "没有要下载的集"},
        {"the book grew", 123, "120", "3", {S::not_on_disk, S::not_on_disk, S::not_on_disk},
         "已列出 3 集", 3, "3/3 集"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleBook grown = book;
        grown.episode_total = c.total;
        site->add_book(grown);
        load(address());
        list(c.start, c.span);
        std::vector<DownloadState> states;
        for (const Episode& e : session->episodes().episodes())
            states.push_back(e.state);
        EXPECT_EQ(states, c.listed);
        EXPECT_EQ(listed_text(session->episodes()), gbk(c.said));
        ASSERT_TRUE(session->downloads().enabled());
        const int requests = site->media_full_requests();
        download_all();
        EXPECT_EQ(site->media_full_requests() - requests, c.fetched);
        EXPECT_EQ(session->downloads().run().summary(), gbk(c.run));
        for (std::size_t i = 0; i < c.listed.size(); ++i)
            EXPECT_EQ(at(int(i)).state,
                      c.listed[i] == S::not_out ? S::not_out : S::downloaded) << i;
    }
}

// A download cut short reads as paused with its share, from its partial file,
// whenever its episode is listed again: in the same session or after a restart.
TEST_F(Session, AnEpisodeCutShortReadsPausedWheneverItIsListedAgain) {
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "after a restart" : "in the same session");
        load(address());
        list(restart ? "40" : "35", "2");
        site->set_media_pacing(0, 512, 50);
        session->press_download();
        ASSERT_TRUE(eventually([&] { return at(0).received > 0 && at(0).total > 0; }));
        session->press_download(); // pause
        ASSERT_EQ(at(0).state, DownloadState::paused);
        site->set_media_pacing(0, 0, 0);
        if (restart) {
            session.reset();
            session = std::make_unique<BookSession>();
            session->start();
            load(address());
        } else {
            list("50", "1"); // another list in between
        }
        list(restart ? "40" : "35", "2");
        EXPECT_EQ(at(0).state, DownloadState::paused);
        EXPECT_GT(at(0).received, 0);
        EXPECT_EQ(at(0).total, std::int64_t(site->episode_bytes(book.book_id, restart ? "41" : "36").size()));
        const int ranges = site->media_range_requests();
        download_all();
        EXPECT_EQ(at(0).state, DownloadState::downloaded);
        EXPECT_GE(site->media_range_requests() - ranges, 1); // it went on from its bytes
    }
}

// An episode's length is known once it played, or from its file on disk,
// read in the background when its folder's list is shown.
TEST_F(LongEpisodes, AnEpisodesLengthIsKnownOncePlayedOrOnDisk) {
    struct Case {
        const char* name;
        std::function<void()> make_known;
        int row;
    };
    const Case cases[] = {
        {"played from the Media host", [this] { play_first_of_two(); }, 0},
        {"its file on disk",
         [this] {
             load(address());
             list("35", "2");
             download_all();
             session->open_book_folder(0);
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make_known();
        ASSERT_TRUE(eventually([&] { return at(c.row).length_ms > 0; }));
        // About three minutes (3 MB at 128 kbit/s).
        EXPECT_GT(at(c.row).length_ms, 150000);
        EXPECT_LT(at(c.row).length_ms, 220000);
        session->player().controls().stop();
    }
}

// A followed book's page, loaded by the user, is its check: the episodes the
// page counts beyond those seen arrive at once, in the background, without the
// page being asked for again; a book not followed, or not grown, fetches nothing.
TEST_F(Session, AFollowedBooksPageLoadIsItsCheck) {
    struct Case {
        int book;      // of sample_books()
        bool followed;
        int grown_by;  // episodes published since it was followed
        int fetched;
    };
    const Case cases[] = {{0, true, 2, 2}, {1, true, 0, 0}, {2, false, 1, 0}};
    for (const Case& c : cases) {
        SampleBook b = sample_books()[std::size_t(c.book)];
        SCOPED_TRACE(b.book_id);
        const Text page = site->play_page_address(b.book_id, 1);
        load(page);
        if (c.followed)
            session->follow(true);
        b.episode_total += c.grown_by;
        site->add_book(b);
        QSignalSpy checked(session.get(), &BookSession::followedChanged);
        const int pages = site->page_requests();
        const int served = site->media_full_requests();
        load(page);
        if (c.followed) {
            ASSERT_TRUE(eventually([&] { return checked.count() >= 1; }));
            EXPECT_EQ(session->followed_books().find(b.title)->total_seen, b.episode_total);
        } else {
            QTest::qWait(300);
        }
        EXPECT_EQ(site->page_requests(), pages + 1);
        EXPECT_EQ(site->media_full_requests() - served, c.fetched);
        for (int n = b.episode_total - c.grown_by + 1; n <= b.episode_total; ++n)
            EXPECT_EQ(std::filesystem::is_regular_file(native_path(downloaded_file_path(
                          save.text(), b.title, gbk("第") + number_to_text(n) + gbk("集")))),
                      c.fetched > 0)
                << n;
        EXPECT_TRUE(session->episodes().empty()); // nothing the user sees changed
    }
}

// Episodes land with the details of the page loaded and the cover that came
// with it; a book downloaded with the switch off is tagged from the library,
// on its own thread, with the same.
TEST_F(Session, EpisodesAreTaggedWithThePagesDetailsAndCover) {
    QSignalSpy covers(session.get(), &BookSession::coverArrived);
    load(address());
    ASSERT_TRUE(eventually([&] { return covers.count() > 0; }));
    const Bytes cover = covers.last().at(0).value<Bytes>();
    for (const bool switched_on : {true, false}) {
        SCOPED_TRACE(switched_on ? "on" : "off, then from the library");
        ASSERT_TRUE(write_setting(gbk("写入标签"), flag_text(switched_on)));
        list(switched_on ? "35" : "40", "1");
        download_all();
        const std::filesystem::path file = at(0).file;
        EXPECT_EQ(tagged_book(file).has_value(), switched_on);
        if (!switched_on) {
            QSignalSpy ended(session.get(), &BookSession::taggingEnded);
            ASSERT_TRUE(session->tag_book(0));
            EXPECT_FALSE(session->tag_book(0)); // one book at a time
            ASSERT_TRUE(ended.wait(30000));
            EXPECT_EQ(ended.at(0).at(1).toInt(), 2);
        }
        const auto tagged = tagged_book(file);
        ASSERT_TRUE(tagged.has_value());
        EXPECT_EQ(std::make_tuple(tagged->album, tagged->artist, tagged->composer, tagged->total),
                  std::make_tuple(book.title, session->book().author, session->book().narrator,
                                  book.episode_total));
        std::ifstream kept(file.parent_path() / "cover.gif", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
                  std::string(cover.begin(), cover.end()));
    }
}

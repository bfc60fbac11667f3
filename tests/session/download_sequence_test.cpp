// The download sequence on its own, with no window: the episode list, the
// sample site and real files. The button's states, rows that keep downloading
// into their own book while the list changes, and an abort that leaves nothing.
#include "site/download_paths.hpp"
#include "session/download_sequence.hpp"
#include "site/episode_address.hpp"
#include "http/web_access.hpp"
#include "transfer/http_download.hpp"
#include "support/site_fixture.hpp"
#include "support/small_disk.hpp"

#include <QElapsedTimer>
#include <QTest>

#include <chrono>
#include <fstream>
#include <algorithm>
#include <iterator>

namespace fs = std::filesystem;
using State = DownloadSequence::State;
using Offer = DownloadSequence::Offer;

namespace {

// An episode as the query makes it.
void add_row(EpisodeList& rows, const Text& label, const Text& address, const EpisodeBook& book,
             const EpisodeSource& source = {}) {
    Episode episode;
    episode.ordinal = rows.size() + 1;
    episode.label = label;
    episode.remote = address;
    episode.book = book;
    episode.source = source;
    rows.append(std::move(episode));
}

std::string file_content(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every name below a folder, hidden ones included.
std::vector<fs::path> everything_in(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        found.push_back(entry.path());
    return found;
}

class SequenceTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        configure();
        EpisodeRequest options;
        options.retries = 0;
        sequence.set_transfer_options(options);
        sequence.set_double_press_interval(std::chrono::milliseconds(0));
    }
    void TearDown() override {
        sequence.abort();
        set_http_download_timeouts(std::chrono::seconds(30), std::chrono::seconds(60));
        SiteFixture::TearDown();
    }
    EpisodeBook book_of(const SampleBook& b) const { return {b.title, save.text()}; }
    // A row as the query makes it for an episode of a sample book.
    void add_episode(const SampleBook& b, const Text& number, const EpisodeBook* row_book = nullptr) {
        const Text address =
            audio_address(site->media_host(), b.category, b.title, padded_number(number),
                          site->episode_key(b.book_id, number));
        add_row(rows, gbk("第") + number + gbk("集"), address, row_book ? *row_book : book_of(b),
                {site->catalogue_host(), b.book_id, b.category, number});
    }
    fs::path file_of(const SampleBook& b, const Text& number) const {
        return native_path(
            downloaded_file_path(save.text(), b.title, gbk("第") + number + gbk("集")));
    }
    std::string episode(const SampleBook& b, const Text& number) const {
        const Bytes bytes = site->episode_bytes(b.book_id, number);
        return {bytes.begin(), bytes.end()};
    }
    bool wait_idle() {
        return QTest::qWaitFor([this] { return !sequence.running(); }, 30000);
    }
    bool wait_serving(int n) {
        return QTest::qWaitFor([this, n] { return site->media_requests_served() >= n; }, 30000);
    }

    DownloadState state(int row) const { return rows.at(row)->state; }
    const Episode& at(int row) const { return *rows.at(row); }

    EpisodeList rows;
    DownloadSequence sequence{rows};
};

} // namespace

// Rows with nothing to fetch (no web address) let every pass end at once, so
// the table of states can be walked without transfers.
TEST_F(SequenceTest, ButtonWalksItsStates) {
    add_row(rows, gbk("第1集"), "", book_of(book));
    struct Step {
        const char* action;
        State state;
        Offer offer;
        bool enabled;
    };
    const Step steps[] = {
        {"", State::initial, Offer::download, false},
        {"press", State::initial, Offer::download, false}, // a disabled button does nothing
        {"query without address", State::initial, Offer::download, false},
        {"query", State::ready, Offer::download, true},
        {"press", State::done, Offer::download, false}, // the pass found nothing to fetch
        {"query", State::ready, Offer::download, true},
        {"press", State::done, Offer::download, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.action);
        const std::string action = step.action;
        if (action == "press")
            sequence.press();
        else if (action == "query")
            sequence.query_filled(true);
        else if (action == "query without address")
            sequence.query_filled(false);
        EXPECT_EQ(sequence.state(), step.state);
        EXPECT_EQ(sequence.offer(), step.offer);
        EXPECT_EQ(sequence.enabled(), step.enabled);
    }
    EXPECT_EQ(state(0), DownloadState::not_on_disk);
    EXPECT_TRUE(everything_in(save.path).empty());
}

// The button pressed while the query still lists: rows that come while the
// first episode downloads are fetched in the same run and count in it.
TEST_F(SequenceTest, RowsListedAfterThePressDownloadInTheSameRun) {
    site->set_media_pacing(0, 4096, 20);
    sequence.set_rows_pending(true);
    add_episode(book, "1");
    sequence.rows_added();
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(sequence.running());
    for (const char* number : {"2", "3"}) {
        add_episode(book, number);
        sequence.rows_added();
    }
    EXPECT_EQ(state(1), DownloadState::queued);
    sequence.set_rows_pending(false);
    ASSERT_TRUE(wait_idle());
    for (const char* number : {"1", "2", "3"})
        EXPECT_EQ(file_content(file_of(book, number)), episode(book, number)) << number;
    EXPECT_EQ(sequence.run().total(), 3);
    EXPECT_EQ(sequence.run().arrived(), 3);
}

// A double press only starts. A pause stops every episode under way at once:
// each keeps what arrived in its partial file and reads how far it came; going
// on fetches those first, by a range request, then the rest, fetching nothing
// twice, and the run counts on from where it paused.
TEST_F(SequenceTest, APauseStopsAtOnceAndGoingOnResumesWhatWasUnderWay) {
    for (const int at_once : {1, 3}) {
        SCOPED_TRACE(at_once);
        site->set_media_pacing(0, 1024, 30);
        rows.clear();
        fs::remove_all(save.path / "");
        fs::create_directories(save.path);
        const int full_before = site->media_full_requests();
        const int ranges_before = site->media_range_requests();
        DownloadSequence run{rows};
        run.set_double_press_interval(std::chrono::seconds(60));
        for (int n = 1; n <= 7; ++n)
            add_episode(book, number_to_text(n));
        run.set_parallel_downloads(at_once);
        run.query_filled(true);
        run.press();
        run.press(); // the second click of a double click
        EXPECT_EQ(run.state(), State::running);
        EXPECT_EQ(state(6), DownloadState::queued); // waits its turn
        EXPECT_EQ(run.offer(), Offer::pause);
        run.set_double_press_interval(std::chrono::milliseconds(0));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            int arriving = 0;
            for (int row = 0; row < at_once; ++row)
                arriving += at(row).received > 0 ? 1 : 0;
            return arriving == at_once;
        }, 30000));
        QElapsedTimer timer;
        timer.start();
        run.press();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(run.state(), State::paused);
        EXPECT_EQ(run.offer(), Offer::download);
        EXPECT_TRUE(run.enabled());
        EXPECT_TRUE(run.run().paused());
        QTest::qWait(100);
        EXPECT_EQ(site->media_full_requests(), full_before + at_once); // nothing more was asked for
        for (int row = 0; row < 7; ++row) {
            SCOPED_TRACE(row);
            const Text number = number_to_text(row + 1);
            EXPECT_EQ(state(row), row < at_once ? DownloadState::paused : DownloadState::not_on_disk);
            EXPECT_FALSE(fs::exists(file_of(book, number)));
            if (row < at_once) {
                EXPECT_GT(at(row).received, 0);
                // What the row last heard of, at least, waits on disk.
                EXPECT_GE(std::int64_t(fs::file_size(partial_file_path(file_of(book, number)))),
                          at(row).received);
            }
        }

        site->set_media_pacing(0, 0, 0);
        run.press();
        EXPECT_EQ(run.state(), State::running);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !run.running(); }, 30000));
        EXPECT_EQ(run.state(), State::done);
        EXPECT_EQ(run.offer(), Offer::download);
        EXPECT_FALSE(run.enabled()); // nothing left to fetch
        EXPECT_EQ(site->media_range_requests() - ranges_before, at_once);
        EXPECT_EQ(site->media_full_requests() - full_before, 7);
        for (int n = 1; n <= 7; ++n)
            EXPECT_EQ(file_content(file_of(book, number_to_text(n))),
                      episode(book, number_to_text(n)));
        EXPECT_EQ(run.run().arrived(), 7);
        EXPECT_EQ(run.run().total(), 7);
        EXPECT_EQ(site->media_connections_peak(), at_once);
    }
}

// A key the Media host refuses is asked for once more from the row's book; a
// second refusal fails the row with its reason.
TEST_F(SequenceTest, ARefusedKeyIsAskedForOnceMore) {
    web_access_text(address()); // the play page hands out the session cookie
    site->set_media_single_use_keys(true);
    add_episode(book, "1");
    add_episode(book, "2");
    ASSERT_TRUE(http_download(at(0).remote, program.path / "used.mp3")); // its key is used up
    const Text renewed = audio_address(site->media_host(), book.category, book.title, "001",
                                       site->episode_key(book.book_id, "1"));
    std::vector<Text> addresses;
    QObject::connect(&rows, &EpisodeList::changed, [&](int row) {
        if (row == 0)
            addresses.push_back(at(0).remote);
    });
    site->set_media_fault_episode("2");
    site->set_media_status(403); // whatever the key
    const int scripts = site->script_requests_with_cookie() + site->script_requests_without_cookie();
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(wait_idle());

    EXPECT_EQ(state(0), DownloadState::downloaded) << at(0).reason;
    EXPECT_TRUE(file_content(file_of(book, "1")) == episode(book, "1"));
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), renewed), addresses.end());
    EXPECT_EQ(state(1), DownloadState::failed);
    EXPECT_EQ(at(1).reason, gbk("HTTP 403：拒绝访问"));
    EXPECT_FALSE(at(1).disk_trouble);
    EXPECT_EQ(site->script_requests_with_cookie() + site->script_requests_without_cookie(),
              scripts + 2);
}

// Closing mid-episode keeps the bytes that arrived, hidden; the next run asks
// for the rest only.
TEST_F(SequenceTest, AnEpisodeCutByClosingResumesInTheNextRun) {
    site->set_media_pacing(0, 512, 50);
    add_episode(book, "1");
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(QTest::qWaitFor([this] { return state(0) == DownloadState::downloading; }, 30000));
    sequence.abort();
    EXPECT_FALSE(fs::exists(file_of(book, "1")));
    EXPECT_GT(fs::file_size(partial_file_path(file_of(book, "1"))), 0u);

    site->set_media_pacing(0, 0, 0);
    DownloadSequence next{rows};
    next.query_filled(true);
    next.press();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next.running(); }, 30000));
    EXPECT_EQ(file_content(file_of(book, "1")), episode(book, "1"));
    EXPECT_EQ(site->media_range_requests(), 1);
    EXPECT_EQ(everything_in(native_path(book_folder(save.text(), book.title))).size(), 1u);
}

// The list is rebuilt for another book while an episode arrives: that episode
// still lands in its own book, and the rows that follow go into theirs.
TEST_F(SequenceTest, EveryRowDownloadsIntoItsOwnBook) {
    const SampleBook other = sample_books()[1];
    make_file(file_of(other, "1"), "the other book's own episode");
    site->set_media_pacing(0, 2048, 40);
    add_episode(book, "1");
    add_episode(book, "2");
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(wait_serving(1));
    rows.clear();
    add_episode(other, "1");
    add_episode(other, "2");
    add_episode(other, "3");
    ASSERT_TRUE(wait_idle());

    EXPECT_EQ(file_content(file_of(book, "1")), episode(book, "1"));
    EXPECT_FALSE(fs::exists(file_of(book, "2")));
    // Row 0 of the new list was not the episode that arrived: it is untouched.
    EXPECT_EQ(state(0), DownloadState::not_on_disk);
    EXPECT_EQ(file_content(file_of(other, "1")), "the other book's own episode");
    EXPECT_EQ(file_content(file_of(other, "2")), episode(other, "2"));
    EXPECT_EQ(state(1), DownloadState::downloaded);
    EXPECT_EQ(at(1).file, file_of(other, "2"));
    EXPECT_FALSE(fs::exists(file_of(other, "3"))); // the pass counted two rows
}

TEST_F(SequenceTest, RowsWithoutABookCreateNothing) {
    const EpisodeBook no_book{{}, save.text()};
    add_episode(book, "1", &no_book);
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(state(0), DownloadState::not_on_disk);
    EXPECT_TRUE(at(0).reason.empty());
    EXPECT_TRUE(everything_in(save.path).empty());
    EXPECT_EQ(site->media_requests_served() + site->media_requests_refused(), 0);
}

// Every episode under way is abandoned together.
TEST_F(SequenceTest, AbortDuringAStallEndsAtOnceAndLeavesNothing) {
    site->set_media_stall(true);
    for (const char* n : {"1", "2", "3", "4"})
        add_episode(book, n);
    for (const int at_once : {1, 3}) {
        SCOPED_TRACE(at_once);
        const int asked = site->media_full_requests();
        DownloadSequence run{rows};
        run.set_parallel_downloads(at_once);
        run.query_filled(true);
        run.press();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return site->media_full_requests() == asked + at_once; }, 30000));
        QTest::qWait(100); // well into the stalled answers
        QElapsedTimer timer;
        timer.start();
        run.abort();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_FALSE(run.running());
        QTest::qWait(100);
        EXPECT_EQ(site->media_full_requests(), asked + at_once); // nothing more was asked for
        const fs::path folder = native_path(book_folder(save.text(), book.title));
        EXPECT_TRUE(everything_in(folder).empty());
        EXPECT_EQ(state(0), DownloadState::not_on_disk);
    }
}

TEST(RunProgressText, SpeedsAndDurationsReadAsPeopleWriteThem) {
    const std::pair<double, const char*> speeds[] = {
        {0, "0 KB/s"}, {262144, "256 KB/s"}, {1572864, "1.5 MB/s"}};
    for (const auto& [bytes, text] : speeds)
        EXPECT_EQ(speed_text(bytes), text) << bytes;
    const std::pair<double, const char*> durations[] = {
        {-3, "0:00"}, {59.6, "1:00"}, {83, "1:23"}, {3723, "1:02:03"}};
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(duration_text(seconds), text) << seconds;
}

namespace {

class DiskTrouble : public SequenceTest {
  protected:
    DiskTrouble() { site_options.episode_size = 300 * 1024; }
};

} // namespace

// A full disk or a save folder that cannot be written stops the sequence after
// the episode that met it, says so once, and leaves the rows after it as they
// were; the partial file of that episode goes when the disk is full.
TEST_F(DiskTrouble, StopsTheSequenceSaysSoOnceAndLeavesTheRestUndownloaded) {
    const struct {
        const char* name;
        std::size_t kilobytes;
        bool read_only;
        const char* message;
        int downloaded; // rows that made it before
    } table[] = {
        {"full", 512, false, "磁盘空间不足", 1},
        {"read-only", 64, true, "无法写入保存文件夹", 0},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        SmallDisk disk(c.kilobytes, c.read_only);
        if (!disk.mounted())
            GTEST_SKIP() << "mounting a small disk needs the superuser";
        rows.clear();
        const EpisodeBook on_disk{book.title, text_path(disk.path)};
        for (const char* n : {"1", "2", "3", "4"})
            add_episode(book, n, &on_disk);
        std::vector<Text> said;
        auto told = QObject::connect(&sequence, &DownloadSequence::stoppedForDisk,
                                     [&](const Text& message) { said.push_back(message); });
        const int requests_before = site->media_full_requests();
        sequence.query_filled(true);
        sequence.press();
        ASSERT_TRUE(wait_idle());
        QObject::disconnect(told);

        EXPECT_EQ(said, std::vector<Text>{gbk(c.message)});
        EXPECT_EQ(sequence.state(), State::ready); // a later try, once there is room
        EXPECT_EQ(site->media_full_requests() - requests_before, c.downloaded + 1);
        for (int r = 0; r < 4; ++r) {
            const DownloadState expected = r < c.downloaded    ? DownloadState::downloaded
                                           : r == c.downloaded ? DownloadState::failed
                                                               : DownloadState::not_on_disk;
            EXPECT_EQ(state(r), expected) << r;
        }
        EXPECT_TRUE(at(c.downloaded).disk_trouble);
        EXPECT_EQ(at(c.downloaded).reason, gbk(c.message));
        // What remains on the disk is the episodes downloaded, nothing hidden.
        EXPECT_EQ(everything_in(disk.path).size(),
                  c.downloaded == 0 ? 0u : std::size_t(c.downloaded) + 1);
    }
}

namespace {

class SlowDiskTrouble : public DiskTrouble {
  protected:
    SlowDiskTrouble() { // long enough for the rows to show their progress
        site_options.media_bytes_per_chunk = 32 * 1024;
        site_options.media_chunk_delay_ms = 50;
    }
};

} // namespace

// Three at once on a disk with room for one episode and a half: the one that
// meets the full disk says so, the others under way stop with their rows as
// they were, and no row is left looking as if it still downloads.
TEST_F(SlowDiskTrouble, AFullDiskStopsEveryEpisodeUnderWay) {
    SmallDisk disk(512);
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a small disk needs the superuser";
    const EpisodeBook on_disk{book.title, text_path(disk.path)};
    for (const char* n : {"1", "2", "3", "4", "5"})
        add_episode(book, n, &on_disk);
    std::vector<Text> said;
    QObject::connect(&sequence, &DownloadSequence::stoppedForDisk,
                     [&](const Text& message) { said.push_back(message); });
    sequence.set_parallel_downloads(3);
    sequence.query_filled(true);
    sequence.press();
    ASSERT_TRUE(wait_idle());

    EXPECT_EQ(said, std::vector<Text>{gbk("磁盘空间不足")});
    EXPECT_EQ(sequence.state(), State::ready);
    int full = 0;
    for (int r = 0; r < rows.size(); ++r) {
        full += at(r).disk_trouble;
        EXPECT_TRUE(state(r) == DownloadState::downloaded ||
                    state(r) == DownloadState::not_on_disk ||
                    (state(r) == DownloadState::failed && at(r).disk_trouble))
            << r << " " << int(state(r));
        EXPECT_EQ(at(r).received, 0) << r; // nothing left looking as if it still arrives
    }
    EXPECT_EQ(full, 1);
    EXPECT_EQ(state(4), DownloadState::not_on_disk); // never reached
}

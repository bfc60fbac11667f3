// The query and the download sequence, driven through the real main window
// against the sample site: rows, files on disk, the download button's states,
// the pause request arriving while an episode downloads, and failed transfers.
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "http/web_access.hpp"
#include "transfer/http_download.hpp"
#include "support/small_disk.hpp"
#include "window_fixture.hpp"
#include "support/notification_service.hpp"
#include "widgets/run_progress_line.hpp"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QIcon>
#include <QListWidget>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string file_content(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string as_string(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> visible_names_in(const fs::path& folder) {
    std::vector<std::string> names = names_in(folder);
    std::erase_if(names, [](const std::string& name) { return name.starts_with('.'); });
    return names;
}

// Runs `action` on the GUI thread, queued like a user's click, once the media
// host has begun serving its `n`-th episode.
class WhenServing {
  public:
    WhenServing(const SampleSite& site, int n, std::function<void()> action)
        : thread_([this, &site, n, action = std::move(action)] {
              while (!done_ && site.media_requests_served() < n)
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              if (!done_)
                  QMetaObject::invokeMethod(qApp, action, Qt::QueuedConnection);
          }) {}
    ~WhenServing() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class DownloadView : public WindowFixture {
  protected:
    // The files here are compared with the host's bytes; the tags have tests
    // of their own (tests/tagging).
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(write_setting(gbk("写入标签"), gbk("假")));
    }
    void open_book(const Text& book_address = {}) {
        configure(book_address.empty() ? address() : book_address);
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
    }
    void query(const char* start, const char* span) {
        control<QLineEdit>("编辑框2")->setText(start);
        control<QLineEdit>("编辑框3")->setText(span);
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    QPushButton* button() const { return control<QPushButton>("按钮3"); }
    Text caption() const { return text_of<QPushButton>("按钮3"); }
    // A press, and whatever sequence it starts run to its end.
    void press() const {
        QTest::mouseClick(button(), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    // A press that starts a sequence from whichever idle state the button is in.
    void start_download() const {
        if (caption() == gbk("暂停"))
            press(); // idle pause -> ready
        ASSERT_EQ(caption(), gbk("下载"));
        press();
    }

    Text audio(const Text& number) const {
        return "http://" + site->media_host() + "/yousheng/" + book.category + "/" + book.title +
               "/" + padded_number(number) + ".mp3?key=" + site->episode_key(book.book_id, number);
    }
    Text file_text(const Text& number) const {
        return downloaded_file_path(save.text(), book.title, gbk("第") + number + gbk("集"));
    }
    fs::path file(const Text& number) const { return native_path(file_text(number)); }
    fs::path folder() const { return native_path(book_folder(save.text(), book.title)); }
    std::string episode(const Text& number) const {
        return as_string(site->episode_bytes(book.book_id, number));
    }
    std::vector<Text> expected_row(const Text& number, int ordinal, bool downloaded) const {
        return {gbk("第") + number + gbk("集"), downloaded ? file_text(number) : audio(number),
                number_to_text(ordinal), downloaded ? gbk("已下载") : gbk("未下载")};
    }

    // Every text the state column showed, per row, in order.
    void record_states() {
        auto* list = control<QTreeView>("超级列表框1");
        QObject::connect(list->model(), &QAbstractItemModel::dataChanged, list,
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             for (int r = from.row(); r <= to.row(); ++r)
                                 if (from.column() <= 3 && to.column() >= 3)
                                     shown[r].push_back(window->episodes().cell(r, 3));
                         });
    }
    // The user clicks the first book of the book-folder list.
    void click_first_folder() const {
        auto* folders = control<QListWidget>("超级列表框2");
        ASSERT_EQ(folders->count(), 1);
        QApplication::processEvents(); // lets the list lay its items out
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {},
                          folders->visualItemRect(folders->item(0)).center());
    }
    // A double click as it reaches a button: two clicks within the interval, the
    // second one waiting in the queue while the first one's handler runs.
    static void double_click(QPushButton* target) {
        QMetaObject::invokeMethod(
            target, [target] { QTest::mouseClick(target, Qt::LeftButton); }, Qt::QueuedConnection);
        QTest::mouseClick(target, Qt::LeftButton);
    }
    std::map<int, std::vector<Text>> shown;
};

} // namespace

TEST_F(DownloadView, QueryBuildsTheTenRowsOfStart35Span10) {
    open_book();
    EXPECT_FALSE(button()->isEnabled());
    query("35", "10");
    std::vector<std::vector<Text>> expected;
    for (int i = 1; i <= 10; ++i)
        expected.push_back(expected_row(number_to_text(35 + i), i, false));
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(read_setting(gbk("默认网址")), address());
    EXPECT_EQ(window->session().episode_query().row_counter(), 10);
    EXPECT_EQ(window->session().episode_query().last_row(), 9);
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(caption(), gbk("下载"));
}

TEST_F(DownloadView, FractionalStartsAndSpansThatBuildNoRow) {
    open_book();
    query("2.5", "3.9"); // the span is rounded toward zero
    ASSERT_EQ(window->episodes().row_count(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(rows()[std::size_t(i - 1)], expected_row(number_to_text(2.5 + i), i, false));
    EXPECT_TRUE(contains_text(window->episodes().cell(0, 1), "/003.5.mp3?key="));
    EXPECT_FALSE(site->episode_key(book.book_id, "3.5").empty());

    for (const char* span : {"0", "-2", "abc", ""}) {
        SCOPED_TRACE(span);
        query("35", span);
        EXPECT_EQ(window->episodes().row_count(), 0);
        EXPECT_TRUE(button()->isEnabled()); // left as it was
    }
}

TEST_F(DownloadView, QueryReplacesTheRowsOfABookFolder) {
    make_file(file("1"));
    make_file(file("2"));
    open_book();
    click_first_folder();
    ASSERT_EQ(window->episodes().row_count(), 2);
    ASSERT_FALSE(episode_at(0).file.empty());

    query("35", "3");
    ASSERT_EQ(window->episodes().row_count(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(rows()[std::size_t(r)], expected_row(number_to_text(36 + r), r + 1, false));
        EXPECT_TRUE(episode_at(r).file.empty());
    }
}

TEST_F(DownloadView, FullRunWritesEveryEpisodeAndWalksTheButtonStates) {
    open_book();
    query("35", "10");
    record_states();
    press();
    std::vector<std::string> expected_names;
    for (int i = 1; i <= 10; ++i) {
        const Text number = number_to_text(35 + i);
        SCOPED_TRACE(number);
        EXPECT_EQ(rows()[std::size_t(i - 1)], expected_row(number, i, true));
        EXPECT_EQ(episode_at(i - 1).file, file(number));
        EXPECT_EQ(file_content(file(number)), episode(number));
        expected_names.push_back(file(number).filename().string());
        EXPECT_EQ(shown[i - 1].back(), gbk("已下载"));
    }
    std::sort(expected_names.begin(), expected_names.end());
    EXPECT_EQ(names_in(folder()), expected_names); // no temporary file left behind
    EXPECT_EQ(site->media_requests_served(), 10);
    // Done: nothing left to fetch, and the button offers no act that does nothing.
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_EQ(caption(), gbk("下载"));

    // The next query makes it ready at once.
    query("35", "2");
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(caption(), gbk("下载"));
    EXPECT_EQ(site->media_requests_served(), 10);

    // The query listed both episodes as on disk already. Rows that still name
    // the web address: a file that differs is replaced, one that is complete on
    // disk is not fetched again.
    EXPECT_EQ(rows()[0], expected_row("36", 1, true));
    EXPECT_EQ(rows()[1], expected_row("37", 2, true));
    for (int r = 0; r < 2; ++r)
        set_address(r, audio(number_to_text(36 + r)));
    make_file(file("36"), "older");
    press();
    EXPECT_EQ(file_content(file("36")), episode("36"));
    EXPECT_EQ(site->media_requests_served(), 11);
    EXPECT_EQ(rows()[1], expected_row("37", 2, true));
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_EQ(caption(), gbk("下载"));
}

namespace {

// Notes what the episode list held each time it was painted.
class PaintWatcher : public QObject {
  public:
    explicit PaintWatcher(MainWindow& window) : window_(window) {
        window.findChild<QTreeView*>(to_qstring(gbk("超级列表框1")))
            ->viewport()
            ->installEventFilter(this);
    }
    // Row counts painted while the last row already had its address.
    std::set<int> complete_rows;
    // Counts of downloaded rows painted.
    std::set<int> downloaded;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const int n = window_.episodes().row_count();
            if (n > 0 && !window_.episodes().cell(n - 1, 1).empty())
                complete_rows.insert(n);
            int done = 0;
            for (int r = 0; r < n; ++r)
                done += window_.episodes().cell(r, 3) == gbk("已下载");
            downloaded.insert(done);
        }
        return false;
    }

  private:
    MainWindow& window_;
};

} // namespace

TEST_F(DownloadView, EveryRowIsOnScreenBeforeTheNextOneStarts) {
    open_book();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get())); // on screen, as a user has it
    PaintWatcher painted(*window);
    query("35", "8");
    for (int n = 1; n <= 8; ++n)
        EXPECT_TRUE(painted.complete_rows.count(n)) << "query, " << n << " rows";
    press();
    for (int n = 1; n <= 8; ++n)
        EXPECT_TRUE(painted.downloaded.count(n)) << "download, " << n << " rows";
}

class SlowDownloadView : public DownloadView {
  protected:
    // Each one-second episode takes a few hundred milliseconds to arrive.
    SlowDownloadView() {
        site_options.media_bytes_per_chunk = 2048;
        site_options.media_chunk_delay_ms = 40;
    }
};

// A pause stops the episode under way at once: its row reads how far it came,
// and the run line counts on from there when the run goes on.
TEST_F(SlowDownloadView, PauseDuringTheThirdEpisodeStopsItAtOnceAndGoingOnResumesIt) {
    open_book();
    query("35", "5");
    record_states();
    {
        WhenServing third(*site, 2, [this] {
            ASSERT_TRUE(eventually([this] { return episode_at(2).received > 0; }));
            button()->click();
        });
        press();
    }
    QTest::qWait(100);
    EXPECT_EQ(site->media_full_requests(), 3); // nothing more was asked for
    EXPECT_TRUE(contains_text(rows()[2][3], gbk("已暂停 "))) << gbk_to_utf8(rows()[2][3]);
    EXPECT_FALSE(fs::exists(file("38")));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(rows()[std::size_t(i - 1)][3], i <= 2   ? gbk("已下载")
                                                 : i == 3 ? rows()[2][3]
                                                          : gbk("未下载"))
            << i;
    // The slow transfers showed rising percentages before their final mark.
    for (int r = 0; r < 2; ++r) {
        std::vector<int> percents;
        for (const Text& t : shown[r])
            if (contains_text(t, "%"))
                percents.push_back(int(text_to_number(t)));
        EXPECT_FALSE(percents.empty()) << r;
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << r;
        EXPECT_EQ(shown[r].back(), gbk("已下载")) << r;
    }
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(caption(), gbk("下载"));
    EXPECT_EQ(control<RunProgressLine>("run_line")->line(), to_qstring(gbk("2/5 集 · 已暂停")));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("有声书下载播放器"));

    // Going on fetches the rest of the third episode first, then the others.
    press();
    EXPECT_EQ(site->media_range_requests(), 1);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(rows()[std::size_t(i - 1)], expected_row(number_to_text(35 + i), i, true)) << i;
    EXPECT_EQ(file_content(file("38")), episode("38"));
    EXPECT_TRUE(control<RunProgressLine>("run_line")->line().startsWith("5/5 "));
    EXPECT_FALSE(button()->isEnabled()); // done
    EXPECT_EQ(caption(), gbk("下载"));
}

// Every failure keeps the row as it was, says why on its state cell, and the
// sequence goes on; an old file stays. (Retries have tests of their own.)
TEST_F(DownloadView, FailedTransfersKeepTheRowAndTheOldFile) {
    open_book();
    EpisodeRequest options;
    options.user_agent = program_user_agent();
    options.retries = 1;
    options.retry_delay = std::chrono::milliseconds(10);
    window->session().downloads().set_transfer_options(options);
    record_states();
    struct Kind {
        const char* name;
        std::function<void()> fault;
        const char* reason; // what the state cell's tooltip says
    };
    const std::vector<Kind> kinds = {
        {"404", [this] { site->set_media_status(404); }, "HTTP 404：找不到文件"},
        {"500", [this] { site->set_media_status(500); }, "HTTP 500：服务器出错，已重试 1 次"},
        {"reset midway", [this] { site->set_media_reset_midway(true); }, "连接中断，已重试 1 次"},
        {"empty body", [this] { site->set_media_empty_body(true); }, "文件为空"},
        {"login page", [this] { site->set_media_login_page(true); }, "不是音频文件"},
        // The key is asked for once more and refused again.
        {"refused key (403)", [this] { site->set_media_status(403); }, "HTTP 403：拒绝访问"},
        {"refused connection",
         [this] {
             // Nothing listens on port 1 of the loopback address.
             set_address(0,
                              replace_all(window->episodes().cell(0, 1), site->media_host(), "127.0.0.1:1"));
         },
         "无法连接，已重试 1 次"},
        {"no address", [this] { set_address(0, ""); }, ""},
        {"stalled answer (time-out)",
         [this] {
             set_http_download_timeouts(std::chrono::seconds(2), std::chrono::seconds(1));
             site->set_media_stall(true);
         },
         "超时，已重试 1 次"},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        fs::remove_all(folder()); // episodes on disk would be listed as downloaded
        query("35", "2");
        make_file(file("36"), "old episode");
        site->set_media_fault_episode("36");
        kind.fault();
        const std::vector<Text> before = rows()[0];
        shown.clear();
        start_download();
        site->set_media_status(0);
        site->set_media_reset_midway(false);
        site->set_media_empty_body(false);
        site->set_media_stall(false);
        site->set_media_login_page(false);
        site->set_media_fault_episode("");
        set_http_download_timeouts(std::chrono::seconds(30), std::chrono::seconds(60));

        EXPECT_EQ(rows()[0], before);
        EXPECT_EQ(window->episodes().state_note(0), gbk(kind.reason));
        // While a retry waited, the state cell said so.
        const bool retried = contains_text(gbk(kind.reason), gbk("已重试"));
        EXPECT_EQ(std::count(shown[0].begin(), shown[0].end(), gbk("重试 1/1")), retried ? 1 : 0);
        EXPECT_TRUE(episode_at(0).file.empty());
        EXPECT_EQ(file_content(file("36")), "old episode");
        // The sequence went on with the next row.
        EXPECT_EQ(rows()[1], expected_row("37", 2, true));
        EXPECT_EQ(visible_names_in(folder()),
                  (std::vector<std::string>{file("36").filename().string(),
                                            file("37").filename().string()}));
        // A failed row can be tried again at once; a row without an address cannot.
        EXPECT_EQ(button()->isEnabled(), !std::string(kind.reason).empty());
        EXPECT_EQ(caption(), gbk("下载"));
    }
}

TEST_F(DownloadView, UnsafeTitleStaysOneFolderInsideTheSaveFolder) {
    SampleBook odd = book;
    odd.book_id = "4242";
    odd.title = gbk("星/海..");
    site->add_book(odd);
    open_book(site->play_page_address(odd.book_id, 1));
    ASSERT_EQ(window->session().book().title, odd.title);
    book = odd;
    query("35", "2");
    start_download();

    // Made safe, the title carries a digest of itself: "星_海" stays free for
    // the book of that very title.
    const std::string name = gbk_to_utf8(book_name(odd.title));
    EXPECT_TRUE(name.starts_with(gbk_to_utf8(gbk("星_海_"))));
    EXPECT_EQ(names_in(save.path), std::vector<std::string>{name});
    EXPECT_EQ(names_in(folder()), (std::vector<std::string>{name + gbk_to_utf8(gbk("_第36集.mp3")),
                                                            name + gbk_to_utf8(gbk("_第37集.mp3"))}));
    EXPECT_EQ(file_content(save.path / name / (name + gbk_to_utf8(gbk("_第36集.mp3")))),
              episode("36"));
    EXPECT_EQ(window->episodes().cell(0, 3), gbk("已下载"));

    // Listed back under its name on disk, and its files found again.
    window.reset();
    open_window();
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    EXPECT_EQ(gbk_to_utf8(from_qstring(folders->item(0)->text())), name);
    click_first_folder();
    EXPECT_EQ(window->episodes().row_count(), 2);
}

// The disk full from the first episode on: the sequence stops at once and says
// so in a box and in the row, and the later rows wait to be downloaded.
TEST_F(DownloadView, AFullDiskIsSaidOnceInABoxAndInTheList) {
    SmallDisk disk(8); // too small for one episode
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a small disk needs the superuser";
    configure(address());
    ASSERT_TRUE(write_setting(gbk("默认保存路径"), text_path(disk.path)));
    open_window();
    query("35", "3");
    press();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !dialogs.messages.empty(); }, 10000));
    EXPECT_EQ(dialogs.messages, std::vector<Text>{gbk("磁盘空间不足")});
    EXPECT_EQ(window->episodes().cell(0, 3), gbk("磁盘空间不足"));
    EXPECT_EQ(window->episodes().cell(1, 3), gbk("未下载"));
    EXPECT_EQ(window->episodes().cell(2, 3), gbk("未下载"));
    EXPECT_EQ(caption(), gbk("下载"));
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(site->media_full_requests(), 1);
    EXPECT_TRUE(names_in(native_path(book_folder(text_path(disk.path), book.title))).empty())
        << "the partial file is gone";
}

// An empty save folder means the music folder's 有声书, created by the first
// download; a save folder that does not exist yet is created with its parents.
TEST_F(DownloadView, SaveFolderSubstituteAndMissingParents) {
    HomeFolder home;
    const fs::path deep = save.path / gbk_to_utf8(gbk("新建")) / "deeper";
    for (const fs::path& folder : {fs::path(), deep}) {
        SCOPED_TRACE(folder.string());
        configure(address());
        ASSERT_TRUE(write_setting(gbk("默认保存路径"), text_path(folder)));
        open_window();
        query("35", "1");
        start_download();
        const fs::path expected = (folder.empty() ? home.default_save_folder() : folder) /
                                  gbk_to_utf8(book.title) /
                                  gbk_to_utf8(book.title + gbk("_第36集.mp3"));
        EXPECT_EQ(file_content(expected), episode("36"));
        EXPECT_EQ(episode_at(0).file, expected);
    }
}

// Closing the window while an episode's answer has stalled: the long work ends
// at once, nothing more is asked for and nothing is left in the book's folder.
TEST_F(DownloadView, ClosingDuringAStalledTransferEndsTheWorkAtOnce) {
    open_book();
    query("35", "3");
    site->set_media_stall(true);
    QTest::mouseClick(button(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return site->media_full_requests() == 1; }, 30000));
    QTest::qWait(100);
    const std::string config_before = file_content(native_path(settings_file_path()));
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->session().downloads().running());
    EXPECT_LT(timer.elapsed(), 1000);
    QTest::qWait(300);
    EXPECT_EQ(site->media_full_requests(), 1);
    std::error_code ec;
    EXPECT_TRUE(fs::is_empty(folder(), ec) || !fs::exists(folder()));
    EXPECT_EQ(file_content(native_path(settings_file_path())), config_before);
}

// While an episode trickles in, the window goes on answering: the settings
// window opens and closes before the episode has arrived.
TEST_F(SlowDownloadView, TheWindowAnswersWhileAnEpisodeArrives) {
    site->set_media_pacing(0, 1024, 40);
    open_book();
    query("35", "2");
    QTest::mouseClick(button(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return site->media_requests_served() == 1; }, 30000));
    bool opened_during_transfer = false;
    dialogs.on_dialog = [&](QWidget* dialog) {
        opened_during_transfer = window->episodes().cell(0, 3) != gbk("已下载");
        DialogDriver::close_later(dialog);
    };
    QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
    dialogs.on_dialog = nullptr;
    EXPECT_TRUE(opened_during_transfer);
    EXPECT_TRUE(window->session().downloads().running());
    ASSERT_TRUE(finish_long_work());
    EXPECT_EQ(rows()[1], expected_row("37", 2, true));
}

// Another book's address pasted during a download loads that book, but the
// rows already listed go on downloading into their own book's folder.
TEST_F(SlowDownloadView, ASecondBookPastedMidDownloadLeavesItsFilesAlone) {
    const SampleBook other = sample_books()[1];
    std::vector<fs::path> others;
    for (int n = 36; n <= 39; ++n) {
        others.push_back(native_path(downloaded_file_path(
            save.text(), other.title, gbk("第") + number_to_text(n) + gbk("集"))));
        make_file(others.back(), "the other book's episode " + std::to_string(n));
    }
    open_book();
    query("35", "4");
    {
        WhenServing second(*site, 2,
                           [&] { paste_address(site->play_page_address(other.book_id, 1)); });
        press();
    }
    EXPECT_EQ(window->session().book().title, other.title);
    for (int i = 0; i < 4; ++i) {
        const Text number = number_to_text(36 + i);
        EXPECT_EQ(file_content(file(number)), episode(number)) << number;
        EXPECT_EQ(file_content(others[std::size_t(i)]),
                  "the other book's episode " + std::to_string(36 + i));
    }
}

// Double clicks: on 查询 the second query replaces the first (exactly `span`
// rows); on 下载 the sequence starts and the second click is no pause.
TEST_F(DownloadView, DoubleClicksStartOnce) {
    open_book();
    control<QLineEdit>("编辑框2")->setText("35");
    control<QLineEdit>("编辑框3")->setText("10");
    double_click(control<QPushButton>("按钮1"));
    ASSERT_TRUE(finish_long_work());
    std::vector<std::vector<Text>> expected;
    for (int i = 1; i <= 10; ++i)
        expected.push_back(expected_row(number_to_text(35 + i), i, false));
    EXPECT_EQ(rows(), expected);

    double_click(button());
    QCoreApplication::processEvents();
    EXPECT_EQ(caption(), gbk("暂停"));
    ASSERT_TRUE(finish_long_work());
    EXPECT_EQ(window->episodes().cell(9, 3), gbk("已下载"));
    EXPECT_EQ(site->media_requests_served(), 10);
}

// The rows resolve against the host of the book that was loaded, whatever the
// address box holds by the time of the query.
TEST_F(DownloadView, QueryUsesTheHostOfTheLoadedBook) {
    open_book();
    paste_address("https://127.0.0.1:1/yousheng/1/play_1_1.htm"); // nothing answers there
    ASSERT_EQ(dialogs.messages.size(), 1u);
    query("35", "2");
    EXPECT_EQ(rows()[0], expected_row("36", 1, false));
}

// Without a loaded book the rows belong to no book: 下载 creates nothing.
TEST_F(DownloadView, WithoutABookDownloadCreatesNothing) {
    configure();
    open_window();
    query("35", "2");
    ASSERT_EQ(window->episodes().row_count(), 2);
    const auto before = rows();
    start_download();
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(names_in(save.path).empty());
}

// Episodes already complete in the book's folder are listed as downloaded and
// play from their files; a row whose address got no key is marked failed, with
// its reason, when the sequence reaches it, and neither is requested.
TEST_F(DownloadView, RowsOnDiskAreDownloadedAndRowsWithoutAKeyAreMarkedFailed) {
    open_book();
    make_file(file("37"), episode("37"));
    make_file(file("38"), ""); // an empty file is no episode
    query("35", "4");
    EXPECT_EQ(rows()[0], expected_row("36", 1, false));
    EXPECT_EQ(rows()[1], expected_row("37", 2, true));
    EXPECT_EQ(episode_at(1).file, file("37"));
    EXPECT_EQ(rows()[2], expected_row("38", 3, false));

    const Text no_key = audio_address(site->media_host(), book.category, book.title,
                                      padded_number("36"), "");
    set_address(0, no_key);
    // A row whose query already said why it has no key keeps that reason.
    const Text said = gbk("播放脚本的回答超过 1 MB，未取得音频地址");
    set_address(3, no_key);
    set_note(3, said);
    start_download();
    EXPECT_EQ(site->media_requests_served(), 1); // 38 only
    EXPECT_EQ(window->episodes().state_note(3), said);
    EXPECT_EQ(rows()[0], (std::vector<Text>{gbk("第36集"), no_key, "1", gbk("未下载")}));
    EXPECT_EQ(rows()[2], expected_row("38", 3, true));
    const QModelIndex state = window->episodes().index(0, EpisodeTable::state_column);
    EXPECT_EQ(window->episodes().state_note(0), gbk("未取得音频地址"));
    EXPECT_EQ(state.data(Qt::AccessibleDescriptionRole).toString(), to_qstring(gbk("未取得音频地址")));
    EXPECT_FALSE(state.data(Qt::DecorationRole).value<QIcon>().isNull());
    const QModelIndex fine = window->episodes().index(2, EpisodeTable::state_column);
    EXPECT_FALSE(fine.data(Qt::DecorationRole).isValid());
}

// A run that ends while another window is active is told to the desktop.
TEST_F(DownloadView, ARunEndingInTheBackgroundIsToldToTheDesktop) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    NotificationService service;
    ASSERT_TRUE(service.registered());
    open_book();
    query("35", "2");
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    start_download();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.received().empty(); }, 10000));
    EXPECT_EQ(service.received()[0].summary, QString::fromUtf8("下载结束"));
    // The notice names the book.
    EXPECT_EQ(service.received()[0].body,
              QString::fromUtf8("《") + to_qstring(book.title) + QString::fromUtf8("》已下载 2 集"));
}

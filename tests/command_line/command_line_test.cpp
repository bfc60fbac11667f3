// The command line through the real program, with no display, against the
// sample site on 127.0.0.1.
#include "command_line/program_run.hpp"

#include "settings/config_file.hpp"
#include "session/followed_books.hpp"
#include "settings/config_location.hpp"
#include "site/download_paths.hpp"
#include "support/site_fixture.hpp"
#include "tagging/episode_tags.hpp"
#include "transfer/episode_download.hpp"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QThread>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

Bytes read_file_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Bytes(content.begin(), content.end());
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Waits up to `ms` for the condition, polling.
bool eventually(const std::function<bool()>& condition, int ms = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        site = std::make_unique<SampleSite>(site_options);
        for (const SampleBook& b : sample_books())
            site->add_book(b);
        ASSERT_TRUE(site->start());
        book = sample_books().front();
        ASSERT_TRUE(write_setting(gbk("媒体主机"), site->media_host()));
        ASSERT_TRUE(write_setting(gbk("默认保存路径"), save.text()));
    }
    void TearDown() override { site->stop(); }

    QString page(int episode = 1) const {
        return QString::fromStdString(gbk_to_utf8(site->play_page_address(book.book_id, episode)));
    }
    fs::path episode_file(int n) const {
        return native_path(downloaded_file_path(save.text(), book.title, gbk("第") + number_to_text(n) + gbk("集")));
    }
    // "{page}" and "{home}" in the arguments stand for the addresses.
    QStringList arguments(const std::vector<const char*>& words) const {
        QStringList list;
        for (const char* word : words) {
            QString w = QString::fromUtf8(word);
            w.replace(QStringLiteral("{page}"), page());
            w.replace(QStringLiteral("{home}"), QString::fromStdString(site->home_address()));
            list << w;
        }
        return list;
    }
    ProgramResult run(const std::vector<const char*>& words) const {
        return run_program(folder, arguments(words));
    }

    HomeFolder home;
    ProgramFolder folder; // holds the configuration file
    TempFolder save;
    SampleSiteOptions site_options;
    std::unique_ptr<SampleSite> site;
    SampleBook book;
};

TEST_F(CommandLine, ExitCodesOutputAndFiles) {
    struct Case {
        const char* name;
        std::vector<const char*> words;
        int code;
        std::vector<int> files;        // episodes on disk afterwards
        const char* out = "";          // part of standard output
        const char* err = "";          // part of standard error
        std::function<void(SampleSite&)> fault = {};
    };
    const Case cases[] = {
        {"a range, one line per episode off a terminal",
         {"download", "{page}", "--from", "1", "--count", "3"}, 0, {1, 2, 3},
         "第1集 已下载\n第2集 已下载\n第3集 已下载\n《星海远航》已下载 3 集\n"},
        {"quiet, two at once", {"download", "-q", "{page}", "--from=5", "--count=2", "--jobs=2"}, 0, {5, 6}},
        {"an episode the host refuses is named with its reason",
         {"download", "{page}", "--from", "7", "--count", "3"}, 1, {7, 9}, "第9集 已下载", "1 集未能下载：第8集",
         [](SampleSite& s) {
             s.set_media_fault_episode("8");
             s.set_media_status(404);
         }},
        {"the site's home page is no play page", {"download", "{home}"}, 2, {}, "", "不是本网站的播放页"},
        {"no address", {"download"}, 2, {}, "", "missing ADDRESS"},
        {"a count of 0", {"download", "{page}", "--count", "0"}, 2, {}, "", "--count"},
        {"too many at once", {"download", "{page}", "--jobs", "9"}, 2, {}, "", "--jobs"},
        {"an unknown option", {"download", "{page}", "--fast"}, 2, {}, "", "Unknown option"},
        {"an unknown option of the feeds", {"serve", "--fast"}, 2, {}, "", "Unknown option"},
        {"a bare word", {"downlaod"}, 2, {}, "", "'downlaod' is not a command"},
        {"no operand expected", {"check", "extra"}, 2, {}, "", "takes no operand"},
        {"unfollowing a book not followed", {"unfollow", "没有这本书"}, 2, {}, "", "没有追更这本书"},
        {"help", {"--help"}, 0, {}, "130"},
        {"a command's help", {"download", "--help"}, 0, {}, "--from <N>"},
        {"version", {"--version"}, 0, {}, "audiobook-client 1.0.0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault)
            c.fault(*site);
        const ProgramResult result = run(c.words);
        site->set_media_status(0);
        site->set_media_fault_episode({});
        EXPECT_EQ(result.code, c.code) << result.err;
        EXPECT_TRUE(has(result.out, c.out)) << result.out;
        EXPECT_TRUE(has(result.err, c.err)) << result.err;
        if (c.code == 0 && c.words[0] == std::string("download")) {
            EXPECT_EQ(result.err, "");
        }
        EXPECT_FALSE(has(result.out + result.err, "\x1b")) << "no terminal, no escapes";
        for (int n : c.files)
            EXPECT_TRUE(fs::exists(episode_file(n))) << n;
    }
}

TEST_F(CommandLine, FollowListAndUnfollowAsTextAndJson) {
    ASSERT_EQ(run({"download", "-q", "{page}", "--from", "1", "--count", "2"}).code, 0);
    struct Step {
        std::vector<const char*> words;
        int code;
        const char* out;
    };
    const Step steps[] = {
        {{"follow", "{page}"}, 0, "追更《星海远航》（已有 120 集）"},
        {{"followed"}, 0, "星海远航\t共 120 集\t-\t-\n"},
        {{"library"}, 0, "星海远航\t已听 0/2 集\t追更\t-\n"},
        {{"follow", "-q", "{page}"}, 0, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.words[0]);
        const ProgramResult result = run(s.words);
        EXPECT_EQ(result.code, s.code) << result.err;
        EXPECT_EQ(result.out.find(s.out) == std::string::npos, false) << result.out;
    }
    const ProgramResult followed = run({"followed", "--json"});
    const QJsonObject list = QJsonDocument::fromJson(QByteArray::fromStdString(followed.out)).object();
    ASSERT_EQ(list["followed"].toArray().size(), 1) << followed.out;
    EXPECT_EQ(list["followed"][0]["title"].toString(), QStringLiteral("星海远航"));
    EXPECT_EQ(list["followed"][0]["total_seen"].toInt(), 120);
    const ProgramResult library = run({"library", "--json"});
    const QJsonObject books = QJsonDocument::fromJson(QByteArray::fromStdString(library.out)).object();
    ASSERT_EQ(books["library"].toArray().size(), 1) << library.out;
    EXPECT_EQ(books["library"][0]["on_disk"].toInt(), 2);
    EXPECT_TRUE(books["library"][0]["followed"].toBool());

    // Another episode's page names the same book.
    const QString other = QString::fromStdString(gbk_to_utf8(site->play_page_address(book.book_id, 77)));
    EXPECT_EQ(run_program(folder, {QStringLiteral("unfollow"), other}).code, 0);
    EXPECT_EQ(run({"followed"}).out, "");
}

// What the command line downloads is tagged as the window's episodes are, and
// a tagged episode counts as complete at the next run: nothing is fetched twice.
TEST_F(CommandLine, DownloadedEpisodesAreTaggedAndNotFetchedAgain) {
    ASSERT_EQ(run({"download", "-q", "{page}", "--from", "1", "--count", "2"}).code, 0);
    for (int n : {1, 2}) {
        const auto tagged = tagged_book(episode_file(n));
        ASSERT_TRUE(tagged.has_value()) << n;
        EXPECT_EQ(tagged->album, book.title);
        EXPECT_EQ(tagged->total, book.episode_total);
    }
    EXPECT_TRUE(fs::exists(episode_file(1).parent_path() / "cover.gif")) << "the cover came first";
    const int served = site->media_requests_served();
    const ProgramResult again = run({"download", "{page}", "--from", "1", "--count", "2"});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(site->media_requests_served(), served);
}

TEST_F(CommandLine, AFollowedBookThatGrewThenNothingNew) {
    // Three books, their pages asked for ahead of their turn; two of them grow.
    ASSERT_EQ(run({"follow", "{page}"}).code, 0);
    const std::vector<SampleBook> books = sample_books();
    for (std::size_t i = 1; i < 3; ++i) {
        const QString other = QString::fromStdString(gbk_to_utf8(site->play_page_address(books[i].book_id, 1)));
        ASSERT_EQ(run_program(folder, {QStringLiteral("follow"), other}).code, 0);
    }
    SampleBook grown = book;
    grown.episode_total = 122;
    site->add_book(grown);
    SampleBook second = books[1];
    second.episode_total += 1;
    site->add_book(second);

    const ProgramResult first = run({"check"});
    EXPECT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(first.out, "《星海远航》更新 2 集\n《山河故人》更新 1 集\n");
    EXPECT_TRUE(fs::exists(episode_file(121)));
    EXPECT_TRUE(fs::exists(episode_file(122)));
    EXPECT_FALSE(fs::exists(episode_file(120)));
    const auto tagged = tagged_book(episode_file(122));
    ASSERT_TRUE(tagged.has_value()) << "the check tags what lands";
    EXPECT_EQ(tagged->album, book.title);

    const int served = site->media_requests_served();
    const ProgramResult again = run({"check", "--json"});
    EXPECT_EQ(again.code, 0) << again.err;
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(again.out)).object();
    EXPECT_EQ(report["arrived"].toInt(), 0) << again.out;
    EXPECT_EQ(report["books"][0]["total_seen"].toInt(), 122);
    EXPECT_EQ(report["books"][1]["total_seen"].toInt(), second.episode_total);
    EXPECT_EQ(report["books"].toArray().size(), 3);
    EXPECT_EQ(site->media_requests_served(), served);
    const std::string followed = run({"followed"}).out;
    EXPECT_TRUE(has(followed, "星海远航\t共 122 集\t20")) << followed; // checked this year

    site->set_page_status(500);
    const ProgramResult failing = run({"check"});
    EXPECT_EQ(failing.code, 1);
    EXPECT_TRUE(has(failing.err, "《星海远航》检查失败")) << failing.err;
}

// Their files are compared with the host's bytes: they land untagged.
class SlowEpisodes : public CommandLine {
  protected:
    SlowEpisodes() {
        site_options.episode_size = 400 * 1024;
        site_options.media_bytes_per_chunk = 16 * 1024;
        site_options.media_chunk_delay_ms = 40;
    }
    void SetUp() override {
        CommandLine::SetUp();
        ASSERT_TRUE(write_setting(gbk("写入标签"), gbk("假")));
    }
};

TEST_F(SlowEpisodes, OnATerminalOneProgressLineRedrawnInPlace) {
    const ProgramResult result =
        run_on_terminal(folder, {"download", page().toStdString(), "--from", "1", "--count", "2"});
    EXPECT_EQ(result.code, 0) << result.out;
    EXPECT_TRUE(has(result.out, "\r第1集 1/2 集 · ")) << result.out;
    EXPECT_TRUE(has(result.out, "% · ")) << result.out;
    EXPECT_TRUE(has(result.out, "\x1b[K"));
    EXPECT_TRUE(has(result.out, "《星海远航》已下载 2 集"));
    EXPECT_FALSE(has(result.out, "第1集 已下载")) << "no line per episode on a terminal";
}

TEST_F(SlowEpisodes, AStopKeepsThePartialFileAndTheNextRunResumesIt) {
    const fs::path target = episode_file(1);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        fs::remove(target);
        fs::remove(partial_file_path(target));
        site->set_media_pacing(0, 16 * 1024, 40);
        QProcess process;
        folder.start(process, arguments({"download", "{page}", "--from", "1", "--count", "1"}));
        ASSERT_TRUE(eventually([&] {
            std::error_code error;
            return fs::file_size(partial_file_path(target), error) > 64 * 1024 && !error;
        }));
        ::kill(pid_t(process.processId()), signal);
        const ProgramResult stopped = finish(process);
        EXPECT_EQ(stopped.code, 130);
        EXPECT_TRUE(has(stopped.err, "已中断")) << stopped.err;
        EXPECT_FALSE(fs::exists(target));
        std::error_code error;
        EXPECT_GT(fs::file_size(partial_file_path(target), error), 0u);

        site->set_media_pacing(0, 0, 0);
        const int ranges = site->media_range_requests();
        const ProgramResult resumed = run({"download", "{page}", "--from", "1", "--count", "1"});
        EXPECT_EQ(resumed.code, 0) << resumed.err;
        EXPECT_EQ(site->media_range_requests(), ranges + 1);
        EXPECT_EQ(read_file_bytes(target), site->episode_bytes(book.book_id, "1"));
    }
}

// A window started while a command of the command line writes (a check on a
// timer) does not check as well, and reads back what the command wrote
// before it writes the followed books itself.
TEST_F(CommandLine, AWindowStartedWhileACommandWritesLeavesItsFilesToIt) {
    ASSERT_EQ(run({"follow", "{page}"}).code, 0);
    const SampleBook other = sample_books()[1];
    const QString other_page = QString::fromStdString(gbk_to_utf8(site->play_page_address(other.book_id, 1)));
    ASSERT_EQ(run_program(folder, {QStringLiteral("follow"), other_page}).code, 0);
    SampleBook grown = book;
    grown.episode_total = 122;
    site->add_book(grown);

    QLockFile held(QFile::decodeName((configuration_folder() / ".audiobook-client-writer.lock").c_str()));
    ASSERT_TRUE(held.lock());
    QProcess window;
    QProcessEnvironment env = folder.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(env);
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const int pages = site->page_requests();
    window.start(QString::fromStdString(folder.program.string()), {});
    ASSERT_TRUE(window.waitForStarted());
    ASSERT_TRUE(eventually([&] { return fs::exists(folder.runtime / "audiobook-client"); }));
    QThread::msleep(1000); // the window's check at start would have asked for the pages by now
    EXPECT_EQ(site->page_requests(), pages);
    {
        FollowedBooks books(folder.path / fs::path(u8"追更.ini")); // as the command's check leaves it
        books.set_total_seen(book.title, 122);
        ASSERT_TRUE(books.save());
    }
    held.unlock();

    const ProgramResult unfollowed = run_program(folder, {QStringLiteral("unfollow"), QStringLiteral("山河故人")});
    EXPECT_EQ(unfollowed.code, 0) << unfollowed.err;
    EXPECT_EQ(run({"followed"}).out, "星海远航\t共 122 集\t-\t-\n");
    EXPECT_FALSE(fs::exists(episode_file(121)));
    window.terminate();
    window.waitForFinished(20000);
}

// The window does a handed download; a start stopped meanwhile pauses it, and
// the next hand-over goes on from the bytes that arrived.
TEST_F(SlowEpisodes, AHandedDownloadStoppedPausesTheWindowsRun) {
    QProcess window;
    QProcessEnvironment env = folder.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(env);
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.start(QString::fromStdString(folder.program.string()), {});
    ASSERT_TRUE(window.waitForStarted());
    ASSERT_TRUE(eventually([&] { return fs::exists(folder.runtime / "audiobook-client"); }));

    const fs::path target = episode_file(1);
    QProcess handed;
    folder.start(handed, arguments({"download", "{page}", "--from", "1", "--count", "1"}));
    ASSERT_TRUE(eventually([&] {
        std::error_code error;
        return fs::file_size(partial_file_path(target), error) > 64 * 1024 && !error;
    }));
    ::kill(pid_t(handed.processId()), SIGINT);
    EXPECT_EQ(finish(handed).code, 130);
    std::error_code error;
    const auto kept = fs::file_size(partial_file_path(target), error);
    QThread::msleep(300);
    EXPECT_EQ(fs::file_size(partial_file_path(target), error), kept) << "the window's run paused";

    site->set_media_pacing(0, 0, 0);
    const int ranges = site->media_range_requests();
    const ProgramResult resumed = run({"download", "{page}", "--from", "1", "--count", "1"});
    EXPECT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_EQ(site->media_range_requests(), ranges + 1);
    EXPECT_EQ(read_file_bytes(target), site->episode_bytes(book.book_id, "1"));
    window.terminate();
    window.waitForFinished(20000);
}

TEST_F(CommandLine, ASecondWriterWaitsForTheFirst) {
    QLockFile held(QFile::decodeName((configuration_folder() / ".audiobook-client-writer.lock").c_str()));
    ASSERT_TRUE(held.lock());
    QProcess process;
    folder.start(process, arguments({"follow", "{page}"}));
    process.setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(eventually([&] {
        process.waitForReadyRead(50);
        return process.bytesAvailable() > 0 || process.state() != QProcess::Running;
    }));
    EXPECT_TRUE(has(process.readAllStandardError().toStdString(), "另一个命令正在写入同样的文件"));
    EXPECT_EQ(process.state(), QProcess::Running);
    held.unlock();
    const ProgramResult result = finish(process);
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(has(run({"followed"}).out, "星海远航"));

    // Stopped while it waits: nothing written, 130.
    ASSERT_TRUE(held.lock());
    QProcess waiting;
    folder.start(waiting, arguments({"unfollow", "星海远航"}));
    waiting.setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(eventually([&] {
        waiting.waitForReadyRead(50);
        return waiting.bytesAvailable() > 0 || waiting.state() != QProcess::Running;
    }));
    ::kill(pid_t(waiting.processId()), SIGINT);
    EXPECT_EQ(finish(waiting).code, 130);
    held.unlock();
    EXPECT_TRUE(has(run({"followed"}).out, "星海远航"));
}

TEST_F(CommandLine, AWindowRunningDoesTheWritingCommands) {
    QProcess window;
    QProcessEnvironment env = folder.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(env);
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.start(QString::fromStdString(folder.program.string()), {});
    ASSERT_TRUE(window.waitForStarted());
    ASSERT_TRUE(eventually([&] { return fs::exists(folder.runtime / "audiobook-client"); }));

    struct Step {
        std::vector<const char*> words;
        int code;
        const char* out;
    };
    const Step steps[] = {
        {{"download", "-v", "{page}", "--from", "1", "--count", "2"}, 0,
         "第1集 已下载\n第2集 已下载\n《星海远航》已下载 2 集\n"},
        {{"download", "-v", "{home}"}, 2, ""},
        {{"follow", "-v", "{page}"}, 0, "追更《星海远航》"},
        {{"check", "-v"}, 0, "没有新的一集"},
        {{"unfollow", "-v", "星海远航"}, 0, "不再追更《星海远航》"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.words[0]);
        const ProgramResult result = run(s.words);
        EXPECT_EQ(result.code, s.code) << result.err;
        EXPECT_TRUE(has(result.out, s.out)) << result.out;
        EXPECT_TRUE(has(result.err, "命令交给窗口执行")) << result.err;
    }
    EXPECT_TRUE(fs::exists(episode_file(1)));
    EXPECT_TRUE(fs::exists(episode_file(2)));
    // The window listed them as its own query does, keeping the address.
    EXPECT_EQ(read_setting(gbk("默认网址")), site->play_page_address(book.book_id, 1));
    window.terminate();
    window.waitForFinished(20000);
}

} // namespace

// command_line_bench [--short] [books] [rounds]
// The command line (the real program, in a folder of its own, its files in
// memory when /dev/shm is there):
// 1. `check` over followed books whose play pages answer 30 ms later (50
//    unless given): once with nothing new, once with one new episode per book
//    (its player script 30 ms away too); the median time of each beside its
//    floor, the answers' waits one after another;
// 2. `download` of 20 episodes of 10 MB from the loopback site, beside the
//    window's own run of the same range (the book session's page load, query
//    and download button, in this process): the median of each and of each
//    round's own ratio (goal: at least 1.0, the command as fast as the window).
#include "short_mode.hpp"

#include "files/files.hpp"
#include "session/book_session.hpp"
#include "session/followed_books.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "site/download_paths.hpp"
#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int answer_ms = 30;
constexpr int pages_per_host = 4; // pages asked at once of one host

SampleBook book_number(int n, int total) {
    SampleBook book = sample_books().front();
    book.book_id = std::to_string(50000 + n);
    book.title = gbk("追更书") + number_to_text(n);
    book.episode_total = total;
    return book;
}

// Seconds the program took; -1 when it failed.
double timed_run(const fs::path& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(QString::fromStdString(program.string()), arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

// The window's run: the page, the query, then the download button.
double timed_window_run(BookSession& session, const Text& address, int episodes) {
    QElapsedTimer clock;
    clock.start();
    session.load(address);
    while (session.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    session.query(address, "0", number_to_text(episodes));
    while (session.querying())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    session.press_download();
    while (session.downloading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (session.downloads().run().arrived() != episodes)
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool all_sane(const std::vector<double>& values) {
    return !values.empty() && std::all_of(values.begin(), values.end(), sane);
}

} // namespace

int main(int argc, char** argv) {
    const bool brief = short_mode(argc, argv);
    QCoreApplication application(argc, argv);
    const int books = argc > 1 ? std::atoi(argv[1]) : (brief ? 10 : 50);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : (brief ? 1 : 5);
    const int episodes = brief ? 3 : 20;
    const std::size_t episode_size = std::size_t(brief ? 1 : 10) * 1024 * 1024;

    const std::string memory = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? "/dev/shm" : "/tmp";
    std::string pattern = memory + "/command-line-bench-XXXXXX";
    const fs::path folder = mkdtemp(pattern.data());
    const fs::path program = folder / "audiobook-client";
    std::error_code error;
    fs::create_hard_link(PROGRAM_PATH, program, error);
    if (error)
        fs::copy_file(PROGRAM_PATH, program);
    set_program_folder(folder); // the program's configuration, beside it
    const fs::path save = folder / "books";

    SampleSite site(SampleSiteOptions{.episode_size = episode_size});
    for (int n = 0; n < books; ++n)
        site.add_book(book_number(n, 10));
    const SampleBook big = sample_books().front();
    site.add_book(big);
    if (!site.start())
        return 1;
    write_setting(gbk("媒体主机"), site.media_host());
    write_setting(gbk("默认保存路径"), text_path(save));

    // The program's own start, in every figure below.
    std::vector<double> starts;
    for (int round = 0; round < std::max(3, rounds); ++round)
        starts.push_back(timed_run(program, {"--version"}));
    const double start_up = median(starts);
    std::printf("start-up of the program (--version): %.3f s, part of every figure below\n", start_up);

    // 1. The check.
    auto follow_all = [&](int total_seen) {
        FollowedBooks followed(listening_positions_file().parent_path() / fs::path(u8"追更.ini"));
        for (int n = 0; n < books; ++n) {
            const SampleBook book = book_number(n, 10);
            followed.follow({book.title, site.play_page_address(book.book_id, 1), text_path(save),
                             total_seen, {}});
        }
        return followed.save();
    };
    site.set_page_delay(answer_ms);
    site.set_script_delay(answer_ms);
    std::vector<double> nothing_new, one_new;
    for (int round = 0; round < rounds; ++round) {
        follow_all(10);
        nothing_new.push_back(timed_run(program, {"check", "-q"}));
        follow_all(9);
        fs::remove_all(save, error);
        one_new.push_back(timed_run(program, {"check", "-q"}));
    }
    follow_all(10);
    std::printf("check over %d followed books, pages and scripts %d ms away (median of %d rounds):\n",
                books, answer_ms, rounds);
    // Floors: the waits alone, pages four at a time (one host) or one after another.
    const double pages_at_once = (books + pages_per_host - 1) / pages_per_host * answer_ms / 1000.0;
    std::printf("  nothing new:          %.3f s   floor %.3f s (pages 4 at once; one after another %.3f s)\n",
                median(nothing_new), pages_at_once, books * answer_ms / 1000.0);
    std::printf("  one new episode each: %.3f s   floor %.3f s (pages 4 at once, then each book's script; "
                "one after another %.3f s)\n",
                median(one_new), pages_at_once + books * answer_ms / 1000.0, books * 2 * answer_ms / 1000.0);

    // 2. The download, beside the window's own run.
    site.set_page_delay(0);
    site.set_script_delay(0);
    const Text address = site.play_page_address(big.book_id, 1);
    const fs::path big_folder = native_path(book_folder(text_path(save), big.title));
    const QStringList command{"download", "-q", QString::fromStdString(gbk_to_utf8(address)), "--from", "1",
                              "--count", QString::number(episodes), "--jobs", "1"};
    write_setting(gbk("同时下载"), "1");
    std::vector<double> by_command, by_window, ratios;
    {
        BookSession session;
        session.start();
        for (int round = 0; round < rounds; ++round) {
            // Whichever run follows the other's writes pays for the page cache.
            double ours = 0, window = 0;
            auto command_run = [&] {
                fs::remove_all(big_folder, error);
                ours = timed_run(program, command);
            };
            auto window_run = [&] {
                fs::remove_all(big_folder, error);
                window = timed_window_run(session, address, episodes);
            };
            if (round % 2 == 0) {
                command_run();
                window_run();
            } else {
                window_run();
                command_run();
            }
            by_command.push_back(ours);
            by_window.push_back(window);
            ratios.push_back(window / ours);
        }
        session.close();
    }
    std::printf("download of %d episodes of %zu MB, one at a time (median of %d rounds):\n", episodes,
                episode_size / (1024 * 1024), rounds);
    std::printf("  command line %.3f s (%.3f s without the start-up), the window's run %.3f s\n",
                median(by_command), median(by_command) - start_up, median(by_window));
    std::printf("  the command's speed relative to the window's run: %.3f with its start-up, %.3f without "
                "(goal >= 1.0); median of the rounds' own ratios %.3f\n",
                median(by_window) / median(by_command), median(by_window) / (median(by_command) - start_up),
                median(ratios));
    site.stop();
    fs::remove_all(folder, error);
    const bool ok = all_sane(nothing_new) && all_sane(one_new) && all_sane(by_command) && all_sane(by_window);
    return ok ? 0 : 1;
}

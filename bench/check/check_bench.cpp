// check_bench [--short] [books] [rounds]
// The program's `check` (the real binary, in a folder of its own) over followed
// books whose play pages answer 30 ms later: once with nothing new, once with
// one new episode per book (its player script 30 ms away too). Printed: the
// median time of each beside its floor, the time the pages alone would take
// one after another.
#include "short_mode.hpp"

#include "files/files.hpp"
#include "session/followed_books.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int answer_ms = 30;

SampleBook book_number(int n, int total) {
    SampleBook book = sample_books().front();
    book.book_id = std::to_string(50000 + n);
    book.title = gbk("追更书") + number_to_text(n);
    book.episode_total = total;
    return book;
}

// Seconds the program took; -1 when it failed.
double timed_check(const fs::path& program) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(QString::fromStdString(program.string()), {QStringLiteral("check"), QStringLiteral("-q")});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "check failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const bool brief = short_mode(argc, argv);
    QCoreApplication application(argc, argv);
    const int books = argc > 1 ? std::atoi(argv[1]) : (brief ? 10 : 50);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : (brief ? 1 : 5);

    char pattern[] = "/tmp/check-bench-XXXXXX";
    const fs::path folder = mkdtemp(pattern);
    const fs::path program = folder / "audiobook-client";
    std::error_code error;
    fs::create_hard_link(PROGRAM_PATH, program, error);
    if (error)
        fs::copy_file(PROGRAM_PATH, program);
    set_program_folder(folder);
    const fs::path save = folder / "books";

    SampleSite site;
    site.set_page_delay(answer_ms);
    for (int n = 0; n < books; ++n)
        site.add_book(book_number(n, 10));
    if (!site.start())
        return 1;
    write_setting(gbk("媒体主机"), site.media_host());
    write_setting(gbk("默认保存路径"), text_path(save));

    auto follow_all = [&](int total_seen) {
        FollowedBooks followed(listening_positions_file().parent_path() / fs::path(u8"追更.ini"));
        for (int n = 0; n < books; ++n) {
            const SampleBook book = book_number(n, 10);
            followed.follow({book.title, site.play_page_address(book.book_id, 1), text_path(save), total_seen, {}});
        }
        return followed.save();
    };

    std::vector<double> nothing_new, one_new;
    site.set_script_delay(answer_ms);
    for (int round = 0; round < rounds; ++round) {
        follow_all(10);
        nothing_new.push_back(timed_check(program));
        follow_all(9);
        fs::remove_all(save, error);
        one_new.push_back(timed_check(program));
    }
    site.stop();
    fs::remove_all(folder, error);

    const double pages_floor = books * answer_ms / 1000.0;
    const double new_floor = books * 2 * answer_ms / 1000.0;
    std::printf("check over %d followed books, pages %d ms away (median of %d rounds):\n", books,
                answer_ms, rounds);
    std::printf("  nothing new:          %.3f s   floor one page after another %.3f s\n",
                median(nothing_new), pages_floor);
    std::printf("  one new episode each: %.3f s   floor one page and one script after another %.3f s\n",
                median(one_new), new_floor);
    const bool ok = std::all_of(nothing_new.begin(), nothing_new.end(), sane) &&
                    std::all_of(one_new.begin(), one_new.end(), sane);
    return ok ? 0 : 1;
}

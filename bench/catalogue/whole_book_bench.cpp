// Whole-book benchmark, run by hand: 20 episodes of 2 MB from a loopback Media
// host that answers 60 ms late and paces every connection to 256 kB/s, fetched
// by the download sequence with 1 and with 3 episodes at once, beside aria2c -j3
// fetching the same 20 addresses; the three alternate within each round.
//
// Each sequence run is a child process of its own ("fetch <list> <folder> <n>"),
// so its peak memory is the sequence's alone, not the sample site's.
#include "session/download_sequence.hpp"
#include "site/episode_address.hpp"
#include "session/episode_list.hpp"
#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {


// The child: every address of the list through one sequence, n at once. Prints
// its wall time in ms and its peak resident memory in kB.
int fetch(const char* list, const char* folder, int at_once) {
    EpisodeList rows;
    std::ifstream in(list);
    const EpisodeBook book{gbk("星海远航"), folder};
    int n = 0;
    for (Text address; std::getline(in, address);) {
        Episode episode;
        episode.label = gbk("第") + std::to_string(++n) + gbk("集");
        episode.remote = address;
        episode.book = book;
        rows.append(std::move(episode));
    }
    DownloadSequence sequence(rows);
    sequence.set_double_press_interval(std::chrono::milliseconds(0));
    sequence.set_parallel_downloads(at_once);
    QElapsedTimer timer;
    timer.start();
    sequence.query_filled(true);
    sequence.press();
    while (sequence.running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.0f %ld %d\n", ms, usage.ru_maxrss, sequence.run().arrived());
    return sequence.run().arrived() == n ? 0 : 1;
}

struct Figure {
    double ms = 0;
    long peak_kb = 0;
};

Figure run_child(const QString& self, const QString& list, const fs::path& folder, int at_once) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    QProcess child;
    child.start(self, {"fetch", list, QString::fromStdString(folder.string()),
                       QString::number(at_once)});
    child.waitForFinished(-1);
    Figure f;
    int arrived = 0;
    if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %ld %d", &f.ms, &f.peak_kb,
                    &arrived) != 3 ||
        child.exitCode() != 0)
        std::fprintf(stderr, "the %d-at-once run failed (%d arrived)\n", at_once, arrived);
    return f;
}

Figure run_aria2(const QString& list, const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    QProcess aria2;
    QElapsedTimer timer;
    timer.start();
    aria2.start("aria2c", {"-q", "-j3", "-x1", "--file-allocation=none", "--allow-overwrite=true",
                           "-d", QString::fromStdString(folder.string()), "-i", list});
    aria2.waitForFinished(-1);
    Figure f{double(timer.nsecsElapsed()) / 1e6, 0};
    if (aria2.exitCode() != 0)
        std::fprintf(stderr, "aria2c: %s\n", aria2.readAllStandardError().constData());
    return f;
}

double best(const std::vector<Figure>& figures) {
    double b = 1e300;
    for (const Figure& f : figures)
        b = std::min(b, f.ms);
    return b;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && std::string_view(argv[1]) == "fetch")
        return fetch(argv[2], argv[3], std::atoi(argv[4]));
    // "--short": one round of 4 episodes of 256 kB, to show it still runs.
    const bool short_run = argc > 1 && std::string_view(argv[1]) == "--short";
    const int rounds = short_run ? 1 : argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    const int episodes = short_run ? 4 : 20;
    const std::size_t episode_size = short_run ? 256 * 1024 : 2 * 1024 * 1024;

    QTemporaryDir temp;
    const fs::path root = temp.path().toStdString();
    SampleSite site(SampleSiteOptions{.media_delay_ms = 60,
                                      .media_bytes_per_chunk = 16384,
                                      .media_chunk_delay_ms = 64, // 256 kB/s a connection
                                      .episode_size = episode_size});
    const SampleBook book = sample_books().front();
    site.add_book(book);
    if (!site.start()) {
        std::fprintf(stderr, "sample site did not start\n");
        return 2;
    }
    // The addresses as the rows hold them (GBK), and as they go on the wire for aria2c.
    const QString list = QString::fromStdString((root / "addresses.txt").string());
    const QString wire_list = QString::fromStdString((root / "wire.txt").string());
    {
        std::ofstream out(list.toStdString()), wire(wire_list.toStdString());
        for (int n = 1; n <= episodes; ++n) {
            const Text number = std::to_string(n);
            const Text address =
                audio_address(site.media_host(), book.category, book.title,
                              padded_number(number), site.episode_key(book.book_id, number));
            out << address << "\n";
            wire << percent_encode_unsafe(address) << "\n";
        }
    }
    std::printf("whole book: %d episodes of %zu kB, 60 ms late, 256 kB/s a connection\n",
                episodes, episode_size / 1024);
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<Figure> one, three, aria2;
    for (int round = 0; round < rounds; ++round) {
        // The order turns each round, so a drift of the machine's pace hits each alike.
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
            case 0:
                one.push_back(run_child(self, list, root / "one", 1));
                break;
            case 1:
                three.push_back(run_child(self, list, root / "three", 3));
                break;
            default:
                aria2.push_back(run_aria2(wire_list, root / "aria2"));
                break;
            }
            std::fflush(stdout);
        }
        std::printf("round %d: 1 at once %.0f ms, 3 at once %.0f ms, aria2c -j3 %.0f ms\n",
                    round + 1, one.back().ms, three.back().ms, aria2.back().ms);
    }
    long peak = 0;
    for (const auto* figures : {&one, &three})
        for (const Figure& f : *figures)
            peak = std::max(peak, f.peak_kb);
    const double speedup = best(one) / best(three);
    const double against_aria2 = best(three) / best(aria2);
    std::printf("best: 1 at once %.0f ms, 3 at once %.0f ms, aria2c -j3 %.0f ms\n", best(one),
                best(three), best(aria2));
    std::printf("3 at once is %.2fx as fast as 1 at once (goal: at least 2.70x) %s\n", speedup,
                speedup >= 2.7 ? "met" : "MISSED");
    std::printf("3 at once takes %.3f of aria2c's time (goal: at most %.3f) %s\n", against_aria2,
                1 / 0.95, against_aria2 <= 1 / 0.95 ? "met" : "MISSED");
    std::printf("peak memory of a run %.1f MB (goal: under 40 MB) %s\n", double(peak) / 1024,
                peak < 40 * 1024 ? "met" : "MISSED");
    std::printf("media connections open at once, at most: %d\n", site.media_connections_peak());
    const bool sane = best(one) > 0 && best(three) > 0 && best(aria2) > 0 && peak > 0;
    if (!sane)
        std::fprintf(stderr, "a run gave no figure\n");
    return sane ? 0 : 1;
}

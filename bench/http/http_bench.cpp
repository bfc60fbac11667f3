// Benchmark of the HTTP client (run by hand, not a test):
//  1. a 200 MB download from a loopback server with http_download and with the
//     curl command line, side by side: time of each, their ratio, peak memory;
//  2. 20 episodes of 10 MB with download_episode, one after another in one
//     process, against the curl command line fetching the same 20 addresses in
//     one run: time of each, their ratio, connections;
//  3. 100 sequential web_access GETs to one HTTPS loopback host: requests per
//     second and the number of TCP connections the server accepted;
//  4. hostile answers: a flood of Set-Cookie lines (time per answer, cookies
//     kept, the Cookie line sent next) and 30 MB answers to a request capped at
//     1 MB (peak memory of a process of its own).
// `--short` (or BENCH_SHORT=1): one round of each, only to see that every part
// runs to its end with sane figures.
#include "http/cookie_jar.hpp"
#include "http/web_access.hpp"
#include "loopback_server.hpp"
#include "short_mode.hpp"
#include "transfer/episode_download.hpp"
#include "transfer/http_download.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
    double seconds = 0;
    double cpu_seconds = 0; // user and system
    long peak_kb = 0;
    bool ok = false;
};

// Runs a program in a fresh process; its wall time and peak resident memory.
Run run_process(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peak_kb = usage.ru_maxrss;
    run.cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The run of median time; peak memory is the largest of all runs.
Run median_of(std::vector<Run> runs) {
    long peak = 0;
    bool ok = true;
    for (const Run& r : runs) {
        peak = std::max(peak, r.peak_kb);
        ok = ok && r.ok;
    }
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    Run median = runs[runs.size() / 2];
    median.peak_kb = peak;
    median.ok = ok;
    return median;
}

int download_benchmark(const fs::path& folder, int rounds) {
    const std::size_t size = 200u * 1024 * 1024;
    LoopbackServer server([&](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                      std::to_string(size) + "\r\n\r\n";
        reply.filler = size;
        return reply;
    });
    const std::string address = server.base() + "/yousheng/book/0001.mp3?key=1";
    const fs::path ours = folder / "ours.mp3";
    const fs::path theirs = folder / "curl.mp3";
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    std::vector<Run> our_runs, curl_runs;
    for (int i = 0; i < rounds; ++i) {
        our_runs.push_back(run_process({self, "--download", address, ours.string()}));
        curl_runs.push_back(run_process({"curl", "-s", "-o", theirs.string(), address}));
    }
    const bool sizes_ok = fs::file_size(ours) == size && fs::file_size(theirs) == size;
    Run a = median_of(our_runs), b = median_of(curl_runs);
    std::printf("200 MB download, median of %d rounds\n", rounds);
    std::printf("  http_download  %7.3f s  %8.1f MB/s  peak %6.1f MB  %s\n", a.seconds,
                size / 1048576.0 / a.seconds, a.peak_kb / 1024.0, a.ok ? "ok" : "FAILED");
    std::printf("  curl command   %7.3f s  %8.1f MB/s  peak %6.1f MB  %s\n", b.seconds,
                size / 1048576.0 / b.seconds, b.peak_kb / 1024.0, b.ok ? "ok" : "FAILED");
    std::printf("  speed relative to curl: %.3f (goal >= 0.95), peak memory goal < 40 MB: %s\n",
                b.seconds / a.seconds, a.peak_kb < 40 * 1024 ? "met" : "missed");
    std::printf("  all rounds (ours / curl):");
    for (int i = 0; i < rounds; ++i)
        std::printf(" %.3f/%.3f", our_runs[std::size_t(i)].seconds,
                    curl_runs[std::size_t(i)].seconds);
    std::printf("\n  files complete: %s\n", sizes_ok ? "yes" : "NO");
    fs::remove(ours);
    fs::remove(theirs);
    return a.ok && b.ok && sizes_ok && sane(a.seconds) && sane(b.seconds) ? 0 : 1;
}

constexpr int episode_count = 20;
constexpr std::size_t episode_size = 10u * 1024 * 1024;

std::string episode_address(const std::string& base, int n) {
    return base + "/yousheng/book/" + std::to_string(n) + ".mp3?key=1";
}

// The child process of the episode benchmark: every episode in turn.
int download_episodes(const std::string& base, const fs::path& folder) {
    for (int n = 1; n <= episode_count; ++n) {
        EpisodeRequest request;
        request.address = episode_address(base, n);
        request.target = folder / (std::to_string(n) + ".mp3");
        request.user_agent = program_user_agent();
        DownloadCancel cancel;
        if (download_episode(request, {}, cancel).status != EpisodeStatus::downloaded)
            return 1;
    }
    return 0;
}

bool folder_complete(const fs::path& folder) {
    for (int n = 1; n <= episode_count; ++n) {
        std::error_code ec;
        if (fs::file_size(folder / (std::to_string(n) + ".mp3"), ec) != episode_size || ec)
            return false;
    }
    return true;
}

int episode_benchmark(const fs::path& folder, int rounds) {
    LoopbackServer server([&](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                      std::to_string(episode_size) + "\r\n\r\n";
        reply.filler = episode_size;
        return reply;
    });
    const fs::path ours = folder / "episodes-ours";
    const fs::path theirs = folder / "episodes-curl";
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<std::string> curl_args{"curl", "-s"};
    for (int n = 1; n <= episode_count; ++n) {
        curl_args.push_back("-o");
        curl_args.push_back((theirs / (std::to_string(n) + ".mp3")).string());
        curl_args.push_back(episode_address(server.base(), n));
    }
    std::vector<Run> our_runs, curl_runs;
    std::vector<double> ratios; // per round: the two runs follow each other closely
    bool complete = true;
    for (int i = 0; i < rounds; ++i) {
        for (const fs::path& f : {ours, theirs}) {
            fs::remove_all(f);
            fs::create_directories(f);
        }
        // Whichever runs second finds the first one's pages in the cache; the
        // order alternates.
        if (i % 2 == 1)
            curl_runs.push_back(run_process(curl_args));
        const int connections = server.connections();
        our_runs.push_back(run_process({self, "--episodes", server.base(), ours.string()}));
        if (i == 0)
            std::printf("  connections for our %d episodes: %d\n", episode_count,
                        server.connections() - connections);
        if (i % 2 == 0)
            curl_runs.push_back(run_process(curl_args));
        complete = complete && folder_complete(ours) && folder_complete(theirs);
        ratios.push_back(curl_runs.back().seconds / our_runs.back().seconds);
    }
    std::sort(ratios.begin(), ratios.end());
    Run a = median_of(our_runs), b = median_of(curl_runs);
    const double megabytes = double(episode_count) * episode_size / 1048576.0;
    std::printf("%d episodes of 10 MB, median of %d rounds\n", episode_count, rounds);
    std::printf("  download_episode %7.3f s  %8.1f MB/s  peak %6.1f MB  %s\n", a.seconds,
                megabytes / a.seconds, a.peak_kb / 1024.0, a.ok ? "ok" : "FAILED");
    std::printf("  curl, one run    %7.3f s  %8.1f MB/s  peak %6.1f MB  %s\n", b.seconds,
                megabytes / b.seconds, b.peak_kb / 1024.0, b.ok ? "ok" : "FAILED");
    std::printf("  speed relative to curl: %.3f median of medians, %.3f median of the rounds' "
                "own ratios (goal >= 1.0)\n",
                b.seconds / a.seconds, ratios[ratios.size() / 2]);
    std::printf("  all rounds (ours / curl):");
    for (int i = 0; i < rounds; ++i)
        std::printf(" %.3f/%.3f", our_runs[std::size_t(i)].seconds,
                    curl_runs[std::size_t(i)].seconds);
    auto cpu_median = [](std::vector<Run> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const Run& x, const Run& y) { return x.cpu_seconds < y.cpu_seconds; });
        return runs[runs.size() / 2].cpu_seconds;
    };
    std::printf("\n  processor time, median (ours / curl): %.3f / %.3f s\n", cpu_median(our_runs),
                cpu_median(curl_runs));
    std::printf("  files complete: %s\n", complete ? "yes" : "NO");
    fs::remove_all(ours);
    fs::remove_all(theirs);
    return a.ok && b.ok && complete && sane(a.seconds) && sane(b.seconds) ? 0 : 1;
}

int request_benchmark(int count) {
    LoopbackServer server(
        [](const ServerRequest&) {
            return http_reply("200 OK", {"Content-Type: text/html"}, "<html>page</html>");
        },
        true);
    const Text address = server.base() + "/yousheng/28946/play_28946_1.htm";
    int failures = 0;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (web_access_text(address) != "<html>page</html>")
            ++failures;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d sequential HTTPS GETs with web_access\n", count);
    std::printf("  %.3f s, %.0f requests/s, %d failed\n", seconds, count / seconds, failures);
    std::printf("  TCP connections accepted by the server: %d (%s)\n", server.connections(),
                server.connections() == 1 ? "one connection reused" : "not all reused");
    return failures == 0 && sane(seconds) ? 0 : 1;
}

int hostile_benchmark(const char* program) {
    auto flood = [](int count, int answer) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back(std::string("Set-Cookie: a")
                                .append(std::to_string(answer))
                                .append("_")
                                .append(std::to_string(i))
                                .append("=1"));
        return lines;
    };
    int answer = 0;
    LoopbackServer server(
        [&](const ServerRequest& r) {
            if (r.request_line().starts_with("GET /flood"))
                return http_reply("200 OK", flood(answer == 0 ? 10000 : 5000, answer), "ok");
            return http_reply("200 OK", {}, "ok");
        },
        true);
    std::printf("Cookie flood: one answer of 10,000 Set-Cookie lines, then three of 5,000\n");
    bool ok = true;
    for (answer = 0; answer < 4; ++answer) {
        auto start = Clock::now();
        ok = web_access_text(server.base() + "/flood") == "ok" && ok;
        std::printf("  answer %d: %.3f s, %zu cookies kept\n", answer + 1,
                    std::chrono::duration<double>(Clock::now() - start).count(),
                    stored_cookie_count());
    }
    auto start = Clock::now();
    ok = web_access_text(server.base() + "/page") == "ok" && ok;
    const std::string cookie_line = server.requests().back().header_lines().back();
    std::printf("  next request: %.3f s, Cookie line of %zu bytes (limit %zu)\n",
                std::chrono::duration<double>(Clock::now() - start).count(), cookie_line.size(),
                cookie_header_limit);

    const Run capped = run_process({program, "--capped"});
    std::printf("4 answers of 30 MB, each capped at 1 MB: peak %.1f MB  %s\n",
                capped.peak_kb / 1024.0, capped.ok ? "ok" : "FAILED");
    return ok && capped.ok ? 0 : 1;
}

// In a process of its own: 30 MB answers read through a 1 MB cap.
int capped_requests() {
    LoopbackServer server(
        [](const ServerRequest&) {
            ServerReply reply;
            reply.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
            reply.filler = 30 * 1024 * 1024;
            reply.close = true;
            return reply;
        },
        true);
    bool all_cut = true;
    for (int i = 0; i < 4; ++i) {
        bool too_long = false;
        all_cut = web_access_capped(server.base() + "/flash.asp", 1024 * 1024, too_long).empty() &&
                  too_long && all_cut;
    }
    return all_cut ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const bool brief = short_mode(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--capped")
        return capped_requests();
    if (argc == 4 && std::string(argv[1]) == "--download")
        return http_download(argv[2], argv[3]) ? 0 : 1;
    if (argc == 4 && std::string(argv[1]) == "--episodes")
        return download_episodes(argv[2], argv[3]);

    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "http_bench";
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : brief ? 1 : 7;
    fs::create_directories(folder);
    if (argc > 3 && std::string(argv[3]) == "episodes")
        return episode_benchmark(folder, rounds);
    if (argc > 3 && std::string(argv[3]) == "hostile")
        return hostile_benchmark(argv[0]);
    int result = download_benchmark(folder, rounds);
    std::printf("\n");
    result |= episode_benchmark(folder, rounds);
    std::printf("\n");
    result |= request_benchmark(100);
    std::printf("\n");
    result |= hostile_benchmark(argv[0]);
    return result;
}

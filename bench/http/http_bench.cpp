// Benchmark of the HTTP client (run by hand, not a test):
//  1. a 200 MB download from a loopback server with http_download and with the
//     curl command line, side by side: time of each, their ratio, peak memory;
//  2. 100 sequential web_access GETs to one HTTPS loopback host: requests per
//     second and the number of TCP connections the server accepted.
#include "http/web_access.hpp"
#include "loopback_server.hpp"
#include "platform/http_download.hpp"

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
    return a.ok && b.ok && sizes_ok ? 0 : 1;
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
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--download")
        return http_download(argv[2], argv[3]) ? 0 : 1;

    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "http_bench";
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    fs::create_directories(folder);
    int result = download_benchmark(folder, rounds);
    std::printf("\n");
    result |= request_benchmark(100);
    return result;
}

// Benchmark of the podcast feeds (run by hand, not a test), each figure beside
// its goal:
//  1. the feed of a 1,288-episode book built from the disk (the folder read,
//     the episodes' lengths, the document): the first build, which reads the
//     audio headers it has time for and leaves the rest to a thread, and later
//     ones, 0.2 s apart; goal: under 50 ms;
//  2. one episode file served to the curl command line over loopback by the
//     service and by nginx (Debian's nginx-light, started here on 127.0.0.1
//     with a configuration of its own), best of a few runs; goal: at least 0.8
//     of nginx's speed;
//  3. this process's resident memory with the service on, idle, and then
//     while 20 curl processes fetch that file at once; goal: under 20 MB more.
// `--short` (or BENCH_SHORT=1): smaller files and one run of each.
#include "feeds/feed_books.hpp"
#include "feeds/feed_service.hpp"
#include "feeds/feed_xml.hpp"
#include "short_mode.hpp"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string token = "0123456789abcdef0123456789abcdef";
// Between two builds of a feed: the lengths not read in the first come in meanwhile.
constexpr int quick_pause = 200;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string silent_mp3(double seconds) {
    std::string frame(417, '\0');
    frame[0] = char(0xFF), frame[1] = char(0xFB), frame[2] = char(0x90), frame[3] = char(0x64);
    std::string out;
    for (int i = 0, frames = int(seconds * 44100.0 / 1152.0) + 1; i < frames; ++i)
        out += frame;
    return out;
}

std::uint16_t free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

double resident_mb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

pid_t spawn(const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool wait_ok(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Seconds for curl to fetch the address to /dev/null; 0 when it failed.
double curl_fetch(const std::string& address) {
    const auto start = Clock::now();
    const pid_t pid = spawn({"curl", "-sf", "-o", "/dev/null", address});
    return wait_ok(pid) ? seconds_since(start) : 0;
}

double best_fetch(const std::string& address, int runs) {
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        const double run = curl_fetch(address);
        if (run <= 0)
            return 0;
        best = best == 0 ? run : std::min(best, run);
    }
    return best;
}

bool wait_for_port(std::uint16_t port) {
    for (int i = 0; i < 100; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

pid_t start_nginx(const fs::path& work, const fs::path& root, std::uint16_t port) {
    const fs::path conf = work / "nginx.conf";
    fs::create_directories(work / "nginx");
    std::ofstream(conf) << (geteuid() == 0 ? "user root;\n" : "")
                        << "daemon off;\nworker_processes 1;\npid " << (work / "nginx.pid").string()
                        << ";\nerror_log " << (work / "nginx.log").string()
                        << ";\nevents { worker_connections 128; }\nhttp {\n access_log off;\n"
                        << " sendfile on;\n tcp_nopush on;\n keepalive_timeout 15;\n"
                        << " client_body_temp_path " << (work / "nginx").string() << ";\n"
                        << " server { listen 127.0.0.1:" << port << "; root " << root.string()
                        << "; }\n}\n";
    return spawn({"nginx", "-p", (work / "nginx").string(), "-e", (work / "nginx.log").string(),
                  "-c", conf.string()});
}

bool feed_build(const fs::path& work, int episodes) {
    const fs::path save = work / "books";
    const fs::path folder = save / "长篇";
    fs::create_directories(folder);
    const std::string audio = silent_mp3(1.5);
    for (int n = 1; n <= episodes; ++n)
        std::ofstream(folder / ("长篇_第" + std::to_string(n) + "集.mp3"), std::ios::binary) << audio;
    const FeedPlaces places{save, work / "library"};
    FileLengths lengths;
    double first = 0, later = 0;
    std::size_t bytes = 0;
    std::vector<std::size_t> known; // lengths in each build
    for (int round = 0; round < 6; ++round) {
        if (round > 0) // as a podcast app's next refresh comes
            std::this_thread::sleep_for(std::chrono::milliseconds(quick_pause));
        const auto start = Clock::now();
        const auto book = read_feed_book(places, "长篇", &lengths);
        const std::string feed = book ? rss_feed(*book, "http://127.0.0.1:8738/" + token) : "";
        const double took = seconds_since(start) * 1000;
        if (!book || book->episodes.size() != std::size_t(episodes))
            return false;
        bytes = feed.size();
        known.push_back(std::size_t(std::count_if(book->episodes.begin(), book->episodes.end(),
                                                  [](const FeedEpisode& e) { return e.seconds > 0; })));
        if (round == 0)
            first = took;
        else
            later = later == 0 ? took : std::min(later, took);
    }
    std::printf("feed of %d episodes (%zu KB): first build %.1f ms (%zu lengths known), later builds "
                "%.1f ms (%zu known at the last); goal: under 50 ms %s\n",
                episodes, bytes / 1024, first, known.front(), later, known.back(),
                std::max(first, later) < 50 ? "(met)" : "(MISSED)");
    return sane(first) && sane(later);
}

bool serving(const fs::path& work, std::size_t megabytes, int runs) {
    const fs::path save = work / "books";
    const fs::path folder = save / "book";
    fs::create_directories(folder);
    {
        std::ofstream file(folder / "book_1.mp3", std::ios::binary);
        const std::string chunk(1 << 20, 'a');
        for (std::size_t i = 0; i < megabytes; ++i)
            file << chunk;
    }
    const double before = resident_mb();
    FeedService service({save, work / "library"}, token);
    if (!service.start(0, {QHostAddress(QHostAddress::LocalHost)}))
        return false;
    const std::string ours = "http://127.0.0.1:" + std::to_string(service.port()) + "/" + token +
                             "/book/book_1.mp3";
    const std::uint16_t nginx_port = free_port();
    const pid_t nginx = start_nginx(work, save, nginx_port);
    if (!wait_for_port(nginx_port)) {
        std::printf("nginx did not start (see %s)\n", (work / "nginx.log").c_str());
        return false;
    }
    const std::string theirs = "http://127.0.0.1:" + std::to_string(nginx_port) + "/book/book_1.mp3";
    const double ours_s = best_fetch(ours, runs), theirs_s = best_fetch(theirs, runs);
    kill(nginx, SIGTERM);
    wait_ok(nginx);
    if (ours_s <= 0 || theirs_s <= 0)
        return false;
    const double ratio = theirs_s / ours_s;
    std::printf("one %zu MB episode over loopback: service %.0f MB/s, nginx %.0f MB/s, ratio %.2f; goal: at least 0.8 %s\n",
                megabytes, double(megabytes) / ours_s, double(megabytes) / theirs_s, ratio,
                ratio >= 0.8 ? "(met)" : "(MISSED)");

    const double idle = resident_mb();
    std::vector<pid_t> clients;
    for (int i = 0; i < 20; ++i)
        clients.push_back(spawn({"curl", "-sf", "--limit-rate", "20M", "-o", "/dev/null", ours}));
    double peak = idle;
    for (bool running = true; running;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        peak = std::max(peak, resident_mb());
        running = false;
        for (const pid_t pid : clients)
            running = running || waitpid(pid, nullptr, WNOHANG) == 0;
    }
    std::printf("memory: %.1f MB before the service, %.1f MB with it idle, %.1f MB at most with 20 clients: "
                "%.1f MB more; goal: under 20 MB %s\n",
                before, idle, peak, peak - idle, peak - idle < 20 ? "(met)" : "(MISSED)");
    return sane(ratio) && sane(peak);
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = short_mode(argc, argv);
    char pattern[] = "/tmp/feeds-bench-XXXXXX";
    const fs::path work = mkdtemp(pattern);
    bool ok = feed_build(work / "feed", quick ? 200 : 1288);
    ok = serving(work / "serve", quick ? 16 : 512, quick ? 1 : 3) && ok;
    fs::remove_all(work);
    return ok ? 0 : 1;
}

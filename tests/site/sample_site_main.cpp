// sample-site [catalogue_port [media_port]]
// Starts the sample Catalogue site and Media host on 127.0.0.1 with the sample books,
// prints the play page addresses and the "媒体主机" value, and serves until Ctrl-C.
// SAMPLE_SITE_TRICKLE=<bytes>:<ms> sends every episode slowly, that many bytes
// every that many milliseconds, for trying the program on a slow link;
// SAMPLE_SITE_COVER_DELAY=<ms> answers every cover that much later;
// SAMPLE_SITE_EPISODE_KB=<kB> makes every episode an MP3 of about that size (a
// few minutes for 4096) instead of one second long.
#include "site/sample_site.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

int main(int argc, char** argv) {
    const int catalogue_port = argc > 1 ? std::atoi(argv[1]) : 8443;
    const int media_port = argc > 2 ? std::atoi(argv[2]) : 8080;
    if (argc > 3 || catalogue_port <= 0 || media_port <= 0 || catalogue_port > 65535 ||
        media_port > 65535) {
        std::fprintf(stderr, "usage: %s [catalogue_port [media_port]]   (defaults 8443 8080)\n",
                     argv[0]);
        return 2;
    }

    // Ctrl-C is taken by sigwait below; the servers' threads inherit the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SampleSiteOptions options;
    if (const char* trickle = std::getenv("SAMPLE_SITE_TRICKLE")) {
        options.media_bytes_per_chunk = std::atoi(trickle);
        if (const char* colon = std::strchr(trickle, ':'))
            options.media_chunk_delay_ms = std::atoi(colon + 1);
    }
    if (const char* delay = std::getenv("SAMPLE_SITE_COVER_DELAY"))
        options.cover_delay_ms = std::atoi(delay);
    if (const char* size = std::getenv("SAMPLE_SITE_EPISODE_KB"))
        options.episode_size = std::size_t(std::max(0, std::atoi(size))) * 1024;
    SampleSite site(options);
    const auto books = sample_books();
    for (const SampleBook& book : books)
        site.add_book(book);
    if (!site.start(catalogue_port, media_port)) {
        std::fprintf(stderr, "could not listen on 127.0.0.1:%d and 127.0.0.1:%d\n", catalogue_port,
                     media_port);
        return 1;
    }

    std::printf("Sample Catalogue site (HTTPS, self-signed): %s\n", site.home_address().c_str());
    std::printf("Media host (HTTP): %s\n\n", site.media_host().c_str());
    std::printf("Play pages to paste into the address box:\n");
    for (const SampleBook& book : books)
        std::printf("  %s  %s\n", site.play_page_address(book.book_id, 1).c_str(),
                    gbk_to_utf8(book.title).c_str());
    std::printf("  %s  (never answers)\n", site.hanging_page_address().c_str());
    std::printf("\nIn %s beside the program, section [%s], set:\n  %s=%s\n\n",
                gbk_to_utf8(gbk("配置文件.ini")).c_str(), gbk_to_utf8(gbk("设置")).c_str(),
                gbk_to_utf8(gbk("媒体主机")).c_str(), site.media_host().c_str());
    std::printf("Serving until Ctrl-C.\n");
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    std::printf("Stopping.\n");
    site.stop();
    return 0;
}

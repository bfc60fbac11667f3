#pragma once
// Ground for the episode download tests: the sample site with its books, a
// temporary folder for the files, short time-outs, and the files' contents.
#include "transfer/episode_download.hpp"
#include "files/files.hpp"
#include "transfer/http_download.hpp"
#include "site/sample_site.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>

class DownloadFixture : public ::testing::Test {
  public:
    static Text media_address_of(const SampleSite& site, const SampleBook& book, int episode) {
        char padded[16];
        std::snprintf(padded, sizeof padded, "%03d", episode);
        return "http://" + site.media_host() + "/yousheng/" + book.category + "/" + book.title +
               "/" + padded + ".mp3?key=" + site.episode_key(book.book_id, std::to_string(episode));
    }
    static std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  protected:
    void SetUp() override {
        char pattern[] = "/tmp/episode-download-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        for (const SampleBook& b : sample_books())
            site.add_book(b);
        ASSERT_TRUE(site.start());
        book = sample_books().front();
        set_http_download_timeouts(std::chrono::seconds(2), std::chrono::seconds(1));
    }
    void TearDown() override {
        site.stop();
        set_http_download_timeouts(std::chrono::seconds(30), std::chrono::seconds(60));
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // The Media host address of an episode with the key the player script gives.
    Text media_address(int episode) const { return media_address_of(site, book, episode); }
    std::filesystem::path target(int episode) const {
        return folder / ("episode_" + std::to_string(episode) + ".mp3");
    }
    EpisodeRequest request(int episode) const {
        EpisodeRequest r;
        r.address = media_address(episode);
        r.target = target(episode);
        r.user_agent = "Test agent/1.0";
        r.retries = 3;
        r.retry_delay = std::chrono::milliseconds(10);
        return r;
    }
    std::string expected(int episode) const {
        const Bytes bytes = site.episode_bytes(book.book_id, std::to_string(episode));
        return std::string(bytes.begin(), bytes.end());
    }

    static void write_all(const std::filesystem::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    // Every name in the folder, hidden ones included.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    SampleSite site;
    SampleBook book;
    std::filesystem::path folder;
};

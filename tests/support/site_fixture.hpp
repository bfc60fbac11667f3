#pragma once
// Ground for the catalogue tests that need no widgets: a temporary program folder
// (so the configuration file lives there), a temporary save folder, and the
// sample site with its books, started afresh for every test.
#include "files/files.hpp"
#include "settings/config_file.hpp"
#include "site/sample_site.hpp"
#include "support/home_folder.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdlib.h>

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        char pattern[] = "/tmp/catalogue-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    Text text() const { return text_path(path); }
};

// Makes another folder the current working directory for a while.
struct CurrentFolder {
    std::filesystem::path old = std::filesystem::current_path();
    explicit CurrentFolder(const std::filesystem::path& folder) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() {
        std::error_code ec;
        std::filesystem::current_path(old, ec);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
};

// Creates a file with a little content, and its folders.
inline void make_file(const std::filesystem::path& file, const std::string& content = "x") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

class SiteFixture : public ::testing::Test {
  protected:
    SiteFixture() { set_program_folder(program.path); }
    ~SiteFixture() override { set_program_folder({}); }

    // A derived fixture may set `site_options` in its constructor.
    void SetUp() override {
        site = std::make_unique<SampleSite>(site_options);
        for (const SampleBook& b : sample_books())
            site->add_book(b);
        ASSERT_TRUE(site->start());
        book = sample_books().front();
    }
    void TearDown() override { site->stop(); }

    // The address of an episode page of the first sample book.
    Text address(int episode = 31) const { return site->play_page_address(book.book_id, episode); }

    // The configuration a user of the sample site would have: the Media host, a
    // save folder and, when given, the last book address.
    void configure(const Text& last_address = {}) const {
        ASSERT_TRUE(write_setting(gbk("媒体主机"), site->media_host()));
        ASSERT_TRUE(write_setting(gbk("默认保存路径"), save.text()));
        if (!last_address.empty()) {
            ASSERT_TRUE(write_setting(gbk("默认网址"), last_address));
        }
    }

    TempFolder program; // holds the configuration file
    TempFolder save;    // the save folder
    SampleSiteOptions site_options;
    std::unique_ptr<SampleSite> site;
    SampleBook book; // the first sample book
};

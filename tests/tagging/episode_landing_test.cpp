// Episodes that land through the download sequence against the sample site:
// tagged with the book's details before they take their names, the audio as
// the host sent it, the book folder's cover file and playlist following them;
// nothing fetched again at a later run, or after a restart, because of the tag;
// and with the switch off, every file as it came.
#include "session/download_sequence.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "tagging/episode_landing.hpp"
#include "tagging/episode_tags.hpp"
#include "support/site_fixture.hpp"

#include <QTest>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes after a leading ID3v2 tag, by its header alone.
std::string audio_part(const std::string& file) {
    if (file.compare(0, 3, "ID3") != 0)
        return file;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = size << 7 | std::uint8_t(file[std::size_t(i)]);
    return file.substr(size + 10 + ((std::uint8_t(file[5]) & 0x10) ? 10 : 0));
}

class Landing : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        configure();
        cover = sample_cover_gif(book.title);
    }
    // A run of the episodes `numbers`, as a start of the program would make it:
    // its own list, sequence and landing.
    struct Run {
        EpisodeList rows;
        DownloadSequence sequence{rows};
        EpisodeLanding landing;
        explicit Run(bool on) : landing([on] { return on; }) {}
    };
    std::unique_ptr<Run> run(bool on, std::initializer_list<int> numbers, bool knows_book = true) {
        auto r = std::make_unique<Run>(on);
        if (knows_book)
            r->landing.know_book({book.title, gbk("林远"), gbk("王播音"), 120, cover});
        EpisodeRequest options;
        options.retries = 0;
        options.file_observer = [this](const FileEvent& e) {
            if (e.kind == FileEvent::flushed)
                tagged_at_flush.push_back(tagged_partial_there());
        };
        r->sequence.set_transfer_options(options);
        r->sequence.set_double_press_interval(std::chrono::milliseconds(0));
        r->sequence.set_landing(&r->landing);
        for (int n : numbers) {
            const Text number = std::to_string(n);
            Episode e;
            e.ordinal = r->rows.size() + 1;
            e.label = gbk("第") + number + gbk("集");
            e.remote = audio_address(site->media_host(), book.category, book.title,
                                     padded_number(number), site->episode_key(book.book_id, number));
            e.book = {book.title, save.text()};
            r->rows.append(std::move(e));
        }
        r->sequence.query_filled(true);
        r->sequence.press();
        EXPECT_TRUE(QTest::qWaitFor([&r] { return !r->sequence.running(); }, 30000));
        return r;
    }
    fs::path file_of(int n) const {
        return native_path(downloaded_file_path(save.text(), book.title,
                                                gbk("第") + std::to_string(n) + gbk("集")));
    }
    std::string host_bytes(int n) const {
        const Bytes bytes = site->episode_bytes(book.book_id, std::to_string(n));
        return {bytes.begin(), bytes.end()};
    }
    fs::path folder() const { return native_path(book_folder(save.text(), book.title)); }
    fs::path playlist() const { return folder() / native_path(book.title + ".m3u8"); }
    // Whether a partial file under way already carries our tag.
    bool tagged_partial_there() const {
        for (int n : {1, 2, 3})
            if (fs::exists(partial_file_path(file_of(n))))
                return recorded_host_length(partial_file_path(file_of(n))).has_value();
        return false;
    }
    std::string name_of(int n) const { return file_of(n).filename().string(); }

    Bytes cover;
    std::vector<bool> tagged_at_flush;
};

} // namespace

TEST_F(Landing, EpisodesLandTaggedWithTheirAudioAsSent) {
    const auto first = run(true, {1, 2});
    for (int n : {1, 2}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(first->rows.at(n - 1)->state, DownloadState::downloaded);
        const std::string file = read_all(file_of(n));
        EXPECT_EQ(audio_part(file), audio_part(host_bytes(n)));
        EXPECT_NE(file, host_bytes(n));
        EXPECT_EQ(recorded_host_length(file_of(n)), std::int64_t(host_bytes(n).size()));
        const auto tagged = tagged_book(file_of(n));
        ASSERT_TRUE(tagged.has_value());
        EXPECT_EQ(tagged->album, book.title);
        EXPECT_EQ(tagged->artist, gbk("林远"));
        EXPECT_EQ(tagged->composer, gbk("王播音"));
        EXPECT_EQ(tagged->total, 120);
    }
    // The tag was in the file when the flush before the rename made it durable.
    EXPECT_EQ(tagged_at_flush, (std::vector<bool>{true, true}));
    const Bytes kept_cover = [&] {
        const std::string c = read_all(folder() / "cover.gif");
        return Bytes(c.begin(), c.end());
    }();
    EXPECT_EQ(kept_cover, cover);
    EXPECT_EQ(read_all(playlist()), "#EXTM3U\n#EXTINF:1,第1集\n" + name_of(1) +
                                        "\n#EXTINF:1,第2集\n" + name_of(2) + "\n");

    // A later run, and a run after a restart (new objects): the tagged files
    // count as complete by the host's length and nothing is fetched again,
    // while an episode cut short on disk is.
    struct Again {
        const char* name;
        bool cut_second;
    };
    for (const Again& again : {Again{"next run", false}, Again{"second file cut", true}}) {
        SCOPED_TRACE(again.name);
        const std::string second = read_all(file_of(2));
        if (again.cut_second)
            fs::resize_file(file_of(2), fs::file_size(file_of(2)) - 100);
        const int gets = site->media_full_requests(), heads = site->media_head_requests();
        const auto later = run(true, {1, 2, 3});
        EXPECT_EQ(site->media_head_requests() - heads, 2);
        EXPECT_EQ(site->media_full_requests() - gets, again.cut_second ? 2 : 1); // 3 (and 2)
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(later->rows.at(row)->state, DownloadState::downloaded);
        EXPECT_EQ(audio_part(read_all(file_of(2))), audio_part(host_bytes(2)));
        if (!again.cut_second) {
            EXPECT_EQ(read_all(file_of(2)), second); // untouched
        }
        EXPECT_EQ(read_all(playlist()), "#EXTM3U\n#EXTINF:1,第1集\n" + name_of(1) +
                                            "\n#EXTINF:1,第2集\n" + name_of(2) +
                                            "\n#EXTINF:1,第3集\n" + name_of(3) + "\n");
        fs::remove(file_of(3));
    }
}

// A book known by its title only (a list that came back, say) still gets its
// title and episode; with the switch off nothing changes.
TEST_F(Landing, WhatTheSwitchAndTheKnownBookGive) {
    struct Case {
        const char* name;
        bool on, knows_book;
    };
    const Case cases[] = {{"off", false, true}, {"on, title only", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = run(c.on, {1}, c.knows_book);
        ASSERT_EQ(r->rows.at(0)->state, DownloadState::downloaded);
        if (!c.on) {
            EXPECT_EQ(read_all(file_of(1)), host_bytes(1));
            std::vector<fs::path> names;
            for (const auto& entry : fs::directory_iterator(folder()))
                names.push_back(entry.path().filename());
            EXPECT_EQ(names, std::vector<fs::path>{file_of(1).filename()});
        } else {
            const auto tagged = tagged_book(file_of(1));
            ASSERT_TRUE(tagged.has_value());
            EXPECT_EQ(tagged->album, book.title);
            EXPECT_TRUE(tagged->artist.empty());
            EXPECT_EQ(tagged->total, 0);
            EXPECT_FALSE(fs::exists(folder() / "cover.gif"));
            EXPECT_TRUE(fs::exists(playlist()));
        }
        fs::remove_all(folder());
    }
}

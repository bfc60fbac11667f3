// Episodes that land through the download sequence against the sample site:
// tagged with the book's details before the flush that precedes their rename,
// the audio as the host sent it, the book folder's cover file and playlist
// following them; nothing fetched again because of the tag, at a later run or
// after a restart; with the switch off, every file as it came.
#include "session/download_sequence.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "tagging/episode_landing.hpp"
#include "tagging/episode_tags.hpp"
#include "support/site_fixture.hpp"

#include <QTest>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes after a leading ID3v2 tag, by its header alone.
std::string audio_part(const std::string& file) {
    std::size_t size = 10;
    for (int i = 6; i < 10; ++i)
        size += std::size_t(std::uint8_t(file[std::size_t(i)])) << (7 * (9 - i));
    return file.compare(0, 3, "ID3") == 0 ? file.substr(size) : file;
}

class Landing : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        configure();
    }
    // A run of the episodes `numbers` as a start of the program makes it: a
    // list, a sequence and a landing of its own, which knows the book.
    struct Run {
        EpisodeList rows;
        DownloadSequence sequence{rows};
        EpisodeLanding landing;
        explicit Run(bool on) : landing([on] { return on; }) {}
    };
    std::unique_ptr<Run> run(bool on, std::initializer_list<int> numbers) {
        auto r = std::make_unique<Run>(on);
        r->landing.know_book({book.title, gbk("林远"), gbk("王播音"), 120, sample_cover_gif("c")});
        EpisodeRequest options;
        options.retries = 0;
        options.file_observer = [this](const FileEvent& e) {
            if (e.kind == FileEvent::flushed) // the partial file under way carries our tag?
                for (int n : {1, 2, 3})
                    if (fs::exists(partial_file_path(file_of(n))))
                        tagged_at_flush.push_back(recorded_host_length(partial_file_path(file_of(n))).has_value());
        };
        r->sequence.set_transfer_options(options);
        r->sequence.set_landing(&r->landing);
        for (int n : numbers) {
            const Text number = std::to_string(n);
            Episode e;
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
        return native_path(downloaded_file_path(save.text(), book.title, gbk("第") + std::to_string(n) + gbk("集")));
    }
    std::string host_bytes(int n) const {
        const Bytes bytes = site->episode_bytes(book.book_id, std::to_string(n));
        return {bytes.begin(), bytes.end()};
    }
    std::string playlist_of(std::initializer_list<int> numbers) const {
        std::string text = "#EXTM3U\n";
        for (int n : numbers)
            text += "#EXTINF:1,第" + std::to_string(n) + "集\n" + file_of(n).filename().string() + "\n";
        return text;
    }
    fs::path folder() const { return file_of(1).parent_path(); }
    fs::path playlist() const { return folder() / native_path(book.title + ".m3u8"); }

    std::vector<bool> tagged_at_flush;
};

} // namespace

TEST_F(Landing, EpisodesLandTaggedAndAreNotFetchedAgain) {
    run(true, {1, 2});
    for (int n : {1, 2}) {
        SCOPED_TRACE(n);
        EXPECT_NE(read_all(file_of(n)), host_bytes(n));
        EXPECT_EQ(audio_part(read_all(file_of(n))), audio_part(host_bytes(n)));
        EXPECT_EQ(recorded_host_length(file_of(n)), std::int64_t(host_bytes(n).size()));
        const auto tagged = tagged_book(file_of(n));
        ASSERT_TRUE(tagged.has_value());
        EXPECT_EQ(std::make_tuple(tagged->album, tagged->artist, tagged->composer, tagged->total),
                  std::make_tuple(book.title, gbk("林远"), gbk("王播音"), 120));
    }
    EXPECT_EQ(tagged_at_flush, (std::vector<bool>{true, true}));
    const Bytes cover = sample_cover_gif("c");
    EXPECT_EQ(read_all(folder() / "cover.gif"), std::string(cover.begin(), cover.end()));
    EXPECT_EQ(read_all(playlist()), playlist_of({1, 2}));

    // Later runs of new objects (as after a restart) that list 1 and 2 as not
    // on disk: the tagged files are complete by the host's length; one cut
    // short on disk is fetched again.
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "second file cut" : "untouched");
        const std::string second = read_all(file_of(2));
        if (cut)
            fs::resize_file(file_of(2), second.size() - 100);
        const int gets = site->media_full_requests(), heads = site->media_head_requests();
        const auto later = run(true, {1, 2, 3});
        EXPECT_EQ(site->media_head_requests() - heads, 2);
        EXPECT_EQ(site->media_full_requests() - gets, cut ? 2 : 1); // 3, and the cut 2
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(later->rows.at(row)->state, DownloadState::downloaded);
        EXPECT_EQ(read_all(file_of(2)), second);
        EXPECT_EQ(read_all(playlist()), playlist_of({1, 2, 3}));
        fs::remove(file_of(3));
    }
}

TEST_F(Landing, WithTheSwitchOffFilesLandAsTheyCame) {
    run(false, {1});
    EXPECT_EQ(read_all(file_of(1)), host_bytes(1));
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder()))
        names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<fs::path>{file_of(1).filename()});
}

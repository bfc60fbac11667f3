// What an episode's transfer runs as it lands: the step that changes the
// complete file comes before the flush that makes it durable and the rename;
// a step that fails leaves no file under the final name and no bytes that a
// later run would resume as the host's.
#include "transfer/download_fixture.hpp"

#include <vector>

namespace fs = std::filesystem;

namespace {

class LandingHooks : public DownloadFixture {};

} // namespace

TEST_F(LandingHooks, PrepareRunsBeforeTheFlushAndTheRename) {
    struct Case {
        const char* name;
        bool prepared; // what the step answers
        EpisodeStatus status;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"prepared", true, EpisodeStatus::downloaded, {"prepare", "flushed", "renamed", "landed"}},
        {"the step failed", false, EpisodeStatus::failed, {"prepare"}},
    };
    int episode = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> order;
        EpisodeRequest r = request(episode);
        r.file_observer = [&order](const FileEvent& e) {
            if (e.kind == FileEvent::flushed)
                order.push_back("flushed");
            if (e.kind == FileEvent::renamed)
                order.push_back("renamed");
        };
        r.prepare_file = [&](const fs::path& file) {
            order.push_back("prepare");
            EXPECT_EQ(file, partial_file_path(target(episode)));
            EXPECT_EQ(read_all(file), expected(episode)); // every byte is there
            std::ofstream(file, std::ios::binary | std::ios::app) << "tail";
            return c.prepared;
        };
        r.landed = [&](const fs::path& landed) {
            order.push_back("landed");
            EXPECT_EQ(landed, target(episode));
        };
        DownloadCancel cancel;
        const EpisodeResult result = download_episode(r, {}, cancel);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(order, c.order);
        if (c.prepared) {
            EXPECT_EQ(read_all(target(episode)), expected(episode) + "tail");
        } else {
            EXPECT_FALSE(fs::exists(target(episode)));
            EXPECT_FALSE(fs::exists(partial_file_path(target(episode))));
            EXPECT_FALSE(fs::exists(partial_info_path(target(episode))));
        }
        ++episode;
    }
}

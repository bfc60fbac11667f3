// A request's target mapped to a file: whatever comes in, what is named is a
// plain name of a book folder and a file in it, never "..", a hidden name, a
// separator or NUL; and a file found lies in the save folder.
#include "feeds/request_target.hpp"
#include "fuzz_check.hpp"

#include <cstddef>
#include <cstdint>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::string token = "0123456789abcdef0123456789abcdef";

// A save folder with a book, its episode, a link leading out and a file
// beside the save folder, made once.
const fs::path& save_folder() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/feed-target-fuzz-XXXXXX";
        const fs::path root = mkdtemp(pattern);
        fs::create_directories(root / "books" / "b");
        std::ofstream(root / "books" / "b" / "b_1.mp3") << "episode";
        std::ofstream(root / "secret.mp3") << "secret";
        std::error_code error;
        fs::create_symlink(root / "secret.mp3", root / "books" / "b" / "out.mp3", error);
        fs::create_symlink(root, root / "books" / "up", error);
        return root / "books";
    }();
    return folder;
}

bool plain_name(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string target(reinterpret_cast<const char*>(data), size);
    const std::optional<FeedRequest> request = parse_request_target(target, token);
    if (!request)
        return 0;
    check(target.starts_with("/" + token + "/"), "only the token opens anything", {{"target", target}});
    if (request->kind != FeedResource::opml)
        check(plain_name(request->book), "the book is a plain name", {{"target", target}, {"book", request->book}});
    if (request->kind == FeedResource::episode) {
        check(plain_name(request->file), "the file is a plain name", {{"target", target}, {"file", request->file}});
        if (const auto file = episode_file(save_folder(), *request))
            check(lies_under(*file, save_folder()) && file->filename() != "out.mp3",
                  "a file found lies in the save folder", {{"target", target}});
    }
    return 0;
}

#include "tagging/book_folder_dressing.hpp"

#include "files/files.hpp"
#include "tagging/book_playlist.hpp"
#include "tagging/cover_kind.hpp"
#include "tagging/episode_tags.hpp"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool holds(const fs::path& file, const Bytes& content) {
    std::error_code ec;
    if (fs::file_size(file, ec) != content.size() || ec)
        return false;
    std::ifstream in(file, std::ios::binary);
    const Bytes there{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return there == content;
}

} // namespace

bool BookFolderDressing::keep_cover(const fs::path& folder, const Bytes& cover) {
    const CoverKind kind = cover_kind(cover);
    if (kind.extension.empty())
        return true;
    const fs::path file = folder / ("cover" + std::string(kind.extension));
    std::lock_guard lock(mutex_);
    if (holds(file, cover))
        return true;
    return write_file_atomically(
        file, std::string_view(reinterpret_cast<const char*>(cover.data()), cover.size()));
}

bool BookFolderDressing::write_playlist(const fs::path& folder, const Text& book_name) {
    std::lock_guard lock(mutex_);
    std::vector<PlaylistEntry> entries;
    for (const FolderEntry& file : list_files_in(folder, ".mp3"))
        entries.push_back({playlist_title(file.name, book_name), file.native.filename(),
                           seconds_of(folder / file.native)});
    return write_file_atomically(folder / native_path(book_name + ".m3u8"), playlist_text(entries));
}

// Under the lock.
int BookFolderDressing::seconds_of(const fs::path& file) {
    std::error_code ec;
    const auto size = std::int64_t(fs::file_size(file, ec));
    const auto modified = fs::last_write_time(file, ec);
    if (ec)
        return -1;
    const auto known = lengths_.find(file);
    if (known != lengths_.end() && known->second.size == size && known->second.modified == modified)
        return known->second.seconds;
    const int seconds = duration_seconds(file);
    lengths_[file] = Known{size, modified, seconds};
    return seconds;
}

#pragma once
// What a book folder holds beside its episodes for other players: the cover as
// "cover.jpg" (or ".png", ".gif" as it came) and the playlist (book_playlist.hpp),
// both written atomically. Episodes land on several download threads at once,
// so one object serves them all; the episodes' lengths are read once per file
// and kept while the file stays the same.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>

class BookFolderDressing {
  public:
    // Writes the cover file unless the same picture is there already; a picture
    // of no known kind writes nothing. False when it could not be written.
    bool keep_cover(const std::filesystem::path& folder, const Bytes& cover);
    // Writes "<book name>.m3u8" listing the folder's episodes (its .mp3 files in
    // natural order). False when it could not be written.
    bool write_playlist(const std::filesystem::path& folder, const Text& book_name);

  private:
    struct Known {
        std::int64_t size = 0;
        std::filesystem::file_time_type modified;
        int seconds = -1;
    };
    int seconds_of(const std::filesystem::path& file);

    std::mutex mutex_;
    std::map<std::filesystem::path, Known> lengths_;
};

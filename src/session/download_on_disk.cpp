#include "session/download_on_disk.hpp"

#include "files/files.hpp"
#include "site/download_paths.hpp"
#include "transfer/episode_download.hpp"
#include "transfer/partial_file.hpp"

#include <system_error>

bool find_downloaded_file(Episode& episode) {
    const EpisodeBook& book = episode.book;
    auto on_disk = downloaded_file_on_disk(book.save_folder, book.title, episode.label);
    if (on_disk.empty())
        return false;
    episode.local = downloaded_file_path(book.save_folder, book.title, episode.label);
    episode.file = std::move(on_disk);
    episode.state = DownloadState::downloaded;
    episode.reason.clear();
    return true;
}

bool find_partial_download(Episode& episode) {
    const EpisodeBook& book = episode.book;
    const auto target = native_path(downloaded_file_path(book.save_folder, book.title, episode.label));
    std::error_code error;
    const auto bytes = std::filesystem::file_size(partial_file_path(target), error);
    if (error || bytes == 0)
        return false;
    const PartialFile kept(target);
    episode.state = DownloadState::paused;
    episode.received = std::int64_t(bytes);
    episode.total = kept.resumable() > 0 ? kept.info().length : -1;
    return true;
}

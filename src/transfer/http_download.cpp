#include "transfer/http_download.hpp"

#include "transfer/episode_download.hpp"

// One try, no questions asked first; a failed try leaves nothing behind.
bool http_download(const Text& address, const std::filesystem::path& target,
                   const DownloadProgress& progress) {
    EpisodeRequest request;
    request.address = address;
    request.target = target;
    request.retries = 0;
    request.check_existing = false;
    EpisodeEvents events;
    events.progress = progress;
    DownloadCancel cancel;
    const EpisodeResult result = download_episode(request, events, cancel);
    if (result.status == EpisodeStatus::downloaded)
        return true;
    std::error_code ec;
    std::filesystem::remove(partial_file_path(target), ec);
    std::filesystem::remove(partial_info_path(target), ec);
    return false;
}

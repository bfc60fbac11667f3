#pragma once
// A plain download: one GET that streams the body into a temporary file beside
// the target and renames it onto the target only when the whole body arrived.
// On failure the target is untouched and no temporary file is left. The episode
// download with retries and resume is download_episode (episode_download.hpp).
#include "text/text.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

// Called while the body arrives: bytes received so far, and the total size or -1
// when the server did not announce it.
using DownloadProgress = std::function<void(std::int64_t received, std::int64_t total)>;

// True when a non-empty 2xx body that is not an HTML page arrived complete and
// now lies at `target`.
bool http_download(const Text& address, const std::filesystem::path& target,
                   const DownloadProgress& progress = {});

// The time allowed to connect, and without any data arriving (1 s at least),
// before a transfer fails; 30 s and 60 s unless changed. Applies to
// download_episode as well.
void set_http_download_timeouts(std::chrono::milliseconds connect, std::chrono::seconds stall);

#pragma once
// One episode of a book as the program knows it: where its audio lies on the
// Media host, its file once on disk, how its download goes and what listening
// knows of it. Code finds an episode by its id, which stays with it for life
// and is never reused.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>

using EpisodeId = std::uint64_t;

// The book an episode belongs to: its title names the book's folder and files,
// under the save folder that was in force when the episode was listed.
struct EpisodeBook {
    Text title;
    Text save_folder;
};

// Where an episode's audio address came from, so that an expired key can be
// asked for again: the Catalogue host, the book's number and category code,
// and the episode number. Empty for episodes found in a book folder.
struct EpisodeSource {
    Text catalogue_host;
    Text book_id;
    Text category;
    Text episode_number;
};

enum class DownloadState {
    not_on_disk, // nothing fetched yet
    queued,      // waits its turn in the run under way
    downloading, // arriving: `received` of `total` bytes
    retrying,    // the transfer failed and is tried again (`retry` of `retries`)
    paused,      // stopped by a pause: `received` of `total` bytes wait in its partial file
    downloaded,  // on disk under its final name
    failed,      // the last try failed; `reason` says why
    no_key,      // the player script gave no key, so there is nothing to fetch
    not_out,     // past the book's total and given no key: not published yet
};

struct Episode {
    EpisodeId id = 0;
    int ordinal = 0;  // within its query, from 1; 0 for a folder's files
    Text number;      // the episode number on the site; empty for a folder's files
    Text label;       // "第N集"
    EpisodeBook book;
    EpisodeSource source;
    Text remote;                 // the audio address on the Media host
    Text local;                  // the file on disk, as a text, once it has one
    std::filesystem::path file;  // the same file's native path
    DownloadState state = DownloadState::not_on_disk;
    std::int64_t received = 0;
    std::int64_t total = -1; // -1 while the server has not said
    int retry = 0, retries = 0;
    Text reason;             // why the last download failed, or why there is no key
    bool disk_trouble = false; // the failure was the disk's (full, or not writable)
    bool heard = false;
    bool playing = false;
    std::int64_t length_ms = 0; // the audio's length once known: read from its file, or played

    // What plays and what listening is kept under: the file once on disk,
    // otherwise the address.
    const Text& address() const { return local.empty() ? remote : local; }
    bool on_disk() const { return state == DownloadState::downloaded; }
};

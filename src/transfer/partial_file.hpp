#pragma once
// The bytes of an episode that arrived so far, kept in a hidden file beside the
// target, with what a later resume must check beside it in a second hidden
// file, the note: the whole length and the validators of the answer they came
// from, and which file holds them.
//
// Only the finished episode is flushed to disk. The note is written plainly:
// after a power cut it may be missing, empty or older than the bytes, and a
// note that does not name the partial file beside it, or a length the bytes
// do not fit, makes the next try start over; a note that fits is still checked
// against the server's answer before the bytes are continued.
#include "files/streamed_file.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <string_view>

// What the first answer of a download said about the whole file.
struct PartialInfo {
    std::int64_t length = -1; // -1: not announced (such a file cannot be resumed)
    Text etag;
    Text last_modified;
    std::uint64_t file = 0; // the partial file's inode number; 0: unknown
};

// The text of the note kept beside the bytes ("length", "etag",
// "last-modified" and "file" lines), and what a note says; a line it does not
// know is passed over, a missing or empty length reads as -1 and a missing
// file as 0.
Text partial_note(const PartialInfo& info);
PartialInfo read_partial_note(std::string_view note);

class PartialFile {
  public:
    // `observer` watches the writes of the bytes (not of the note).
    explicit PartialFile(const std::filesystem::path& target, FileObserver observer = {});
    ~PartialFile(); // closes; the files stay
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // The bytes an earlier try left that a Range request can continue from: 0
    // when there are none, or when their length or origin is unknown.
    std::int64_t resumable() const;
    const PartialInfo& info() const { return info_; }

    // Opens the kept bytes for appending (after resumable() > 0).
    bool resume();
    // Begins a new, empty file and records `info` as the origin of what follows.
    bool start_over(const PartialInfo& info);
    bool append(const char* data, std::size_t size);
    // The bytes of the file this try opened (kept after close()).
    std::int64_t size() const { return data_.is_open() ? data_.size() : size_; }

    // Closes the file, keeping it for a later try.
    bool close();
    // Makes the bytes the target (replacing an older one), flushed to disk
    // before they take its name; the hidden files go. `prepare` may change the
    // file first (see StreamedFile::finish_as); when a finish with it fails,
    // the bytes may no longer be the host's, so they go too.
    bool finish(const std::function<bool(const std::filesystem::path&)>& prepare = {});
    // Removes both hidden files.
    void discard();

    // The errno of the latest operation above that failed (0 when none did).
    int last_error() const { return error_; }

  private:
    void look_on_disk();
    bool failed(); // records errno; false

    std::filesystem::path target_, data_path_, info_path_;
    PartialInfo info_;
    std::int64_t on_disk_ = 0;       // size of the kept file while closed
    std::uint64_t on_disk_file_ = 0; // and its inode number
    std::int64_t size_ = 0;
    StreamedFile data_;
    int error_ = 0;
};

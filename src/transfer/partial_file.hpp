#pragma once
// The bytes of an episode that arrived so far, kept in a hidden file beside the
// target, with what a later resume must check beside it in a second hidden
// file: the whole length and the validators of the answer they came from.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <string_view>

// What the first answer of a download said about the whole file.
struct PartialInfo {
    std::int64_t length = -1; // -1: not announced (such a file cannot be resumed)
    Text etag;
    Text last_modified;
};

// The text of the note kept beside the bytes ("length", "etag" and
// "last-modified" lines), and what a note says; a line it does not know is
// passed over, and a missing or empty length reads as -1.
Text partial_note(const PartialInfo& info);
PartialInfo read_partial_note(std::string_view note);

class PartialFile {
  public:
    explicit PartialFile(const std::filesystem::path& target);
    ~PartialFile(); // closes; the files stay
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // The bytes an earlier try left that a Range request can continue from: 0
    // when there are none, or when their length or origin is unknown.
    std::int64_t resumable() const;
    const PartialInfo& info() const { return info_; }

    // Opens the kept bytes for appending (after resumable() > 0).
    bool resume();
    // Empties the file and records `info` as the origin of what follows.
    bool start_over(const PartialInfo& info);
    bool append(const char* data, std::size_t size);
    std::int64_t size() const { return size_; }

    // Closes the file, keeping it for a later try.
    bool close();
    // Makes the bytes the target (replacing an older one), flushed to disk
    // before they take its name; the hidden files go.
    bool finish();
    // Removes both hidden files.
    void discard();

    // The errno of the latest operation above that failed (0 when none did).
    int last_error() const { return error_; }

  private:
    void load_info();
    bool failed(); // records errno; false

    std::filesystem::path target_, data_path_, info_path_;
    PartialInfo info_;
    std::int64_t on_disk_ = 0; // size of the kept file when opened
    std::int64_t size_ = 0;
    int fd_ = -1;
    int error_ = 0;
};

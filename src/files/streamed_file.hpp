#pragma once
// A file written from front to back as its bytes arrive, such as an episode:
// small pieces are gathered into large writes, and the kernel is asked to start
// writing what has been written to disk every megabyte, so that the flush
// before the file takes its final name finds little left to do.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

// What a streamed file does to the disk, in order, for whoever watches it.
struct FileEvent {
    enum Kind {
        wrote,             // a write(2) of `size` bytes at `offset`
        writeback_started, // writeback started for `size` bytes at `offset`
        flushed,           // the file's data flushed to disk
        renamed,           // the file took its final name
    };
    Kind kind;
    std::int64_t offset = 0;
    std::int64_t size = 0;
};
using FileObserver = std::function<void(const FileEvent&)>;

class StreamedFile {
  public:
    static constexpr std::size_t piece_size = 256 * 1024;          // bytes of one write
    static constexpr std::int64_t writeback_step = 1 * 1024 * 1024; // bytes between writebacks

    explicit StreamedFile(FileObserver observer = {});
    ~StreamedFile(); // closes, writing what is gathered
    StreamedFile(const StreamedFile&) = delete;
    StreamedFile& operator=(const StreamedFile&) = delete;

    // A new, empty file at `path`, in place of any older one there (whose
    // identity it never takes over); or the file at `path` to append to.
    bool create(const std::filesystem::path& path);
    bool open_to_append(const std::filesystem::path& path);
    bool is_open() const { return fd_ != -1; }

    bool append(const char* data, std::size_t size);
    // Bytes in the file, those still gathered included.
    std::int64_t size() const { return written_ + std::int64_t(pending_.size()); }
    // The file's inode number, which names this file and no other beside it.
    std::uint64_t identity() const { return identity_; }

    // Writes what is gathered and closes the file.
    bool close();
    // Writes what is gathered, flushes the data to disk, closes the file and
    // renames it to `target`, then syncs the folder: the target is the old file
    // or this one, whole, across a power cut too. `prepare`, when given, may
    // change the complete file (by its path) before the flush, which covers
    // what it wrote; false from it fails the finish.
    bool finish_as(const std::filesystem::path& target,
                   const std::function<bool(const std::filesystem::path&)>& prepare = {});

  private:
    bool open(const std::filesystem::path& path, int flags);
    bool write_out(const char* data, std::size_t size);
    bool write_pending();
    void start_writeback();
    void tell(FileEvent::Kind kind, std::int64_t offset, std::int64_t size) const;

    FileObserver observer_;
    std::filesystem::path path_;
    std::vector<char> pending_;
    std::int64_t written_ = 0;     // bytes in the file on the kernel's side
    std::int64_t written_back_ = 0; // writeback was started up to here
    std::uint64_t identity_ = 0;
    int fd_ = -1;
};

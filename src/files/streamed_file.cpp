#include "files/streamed_file.hpp"

#include "files/files.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

StreamedFile::StreamedFile(FileObserver observer) : observer_(std::move(observer)) {}

StreamedFile::~StreamedFile() {
    close();
}

// The file replaced is held open until the new one exists, so that the new one
// cannot be given the inode the old one frees.
bool StreamedFile::create(const fs::path& path) {
    close();
    const int older = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    ok = ok && open(path, O_CREAT | O_EXCL);
    const int error = errno;
    if (older != -1)
        ::close(older);
    errno = error;
    return ok;
}

bool StreamedFile::open_to_append(const fs::path& path) {
    close();
    return open(path, O_APPEND);
}

bool StreamedFile::open(const fs::path& path, int flags) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
    if (fd_ == -1)
        return false;
    struct stat status {};
    ::fstat(fd_, &status);
    path_ = path;
    identity_ = std::uint64_t(status.st_ino);
    written_ = written_back_ = std::int64_t(status.st_size);
    pending_.clear();
    pending_.reserve(piece_size);
    return true;
}

bool StreamedFile::append(const char* data, std::size_t size) {
    if (fd_ == -1)
        return false;
    while (size > 0) {
        if (pending_.empty() && size >= piece_size) // large enough as it is
            return write_out(data, size);
        const std::size_t taken = std::min(size, piece_size - pending_.size());
        pending_.insert(pending_.end(), data, data + taken);
        data += taken;
        size -= taken;
        if (pending_.size() == piece_size && !write_pending())
            return false;
    }
    return true;
}

bool StreamedFile::write_pending() {
    const bool ok = write_out(pending_.data(), pending_.size());
    pending_.clear();
    return ok;
}

bool StreamedFile::write_out(const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC; // a write that takes nothing: the disk is full
        if (n <= 0)
            return false;
        tell(FileEvent::wrote, written_, n);
        written_ += n;
        done += std::size_t(n);
    }
    if (written_ - written_back_ >= writeback_step)
        start_writeback();
    return true;
}

// Only starts the writeback; a file system that cannot is flushed at the end all the same.
void StreamedFile::start_writeback() {
    const std::int64_t length = written_ - written_back_;
    if (::sync_file_range(fd_, written_back_, length, SYNC_FILE_RANGE_WRITE) == 0)
        tell(FileEvent::writeback_started, written_back_, length);
    written_back_ = written_;
}

bool StreamedFile::close() {
    if (fd_ == -1)
        return true;
    bool ok = write_pending();
    int error = ok ? 0 : errno;
    if (::close(fd_) != 0 && ok) {
        ok = false;
        error = errno;
    }
    fd_ = -1;
    errno = error;
    return ok;
}

bool StreamedFile::finish_as(const fs::path& target,
                             const std::function<bool(const fs::path&)>& prepare) {
    if (fd_ == -1)
        return false;
    const auto prepared = [&] {
        errno = 0;
        if (!prepare || prepare(path_))
            return true;
        if (errno == 0)
            errno = EIO;
        return false;
    };
    if (!write_pending() || !prepared() || ::fdatasync(fd_) != 0) {
        const int error = errno;
        close();
        errno = error;
        return false;
    }
    tell(FileEvent::flushed, 0, written_);
    if (!close() || !rename_synced(path_, target))
        return false;
    tell(FileEvent::renamed, 0, written_);
    return true;
}

void StreamedFile::tell(FileEvent::Kind kind, std::int64_t offset, std::int64_t size) const {
    if (observer_)
        observer_(FileEvent{kind, offset, size});
}

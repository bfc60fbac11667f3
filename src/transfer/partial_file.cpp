#include "transfer/partial_file.hpp"

#include "files/files.hpp"
#include "transfer/episode_download.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t longest_name = 255; // bytes of one name on disk

// "." + the target's name + suffix; a name too long for the disk (with `room`
// bytes to spare) is replaced by a digest of it, still the same for the same target.
fs::path hidden_beside(const fs::path& target, const std::string& suffix, std::size_t room = 0) {
    const std::string own = target.filename().string();
    std::string name = ".";
    if (own.size() + suffix.size() + 1 + room <= longest_name) {
        name += own;
    } else {
        char digest[17];
        std::snprintf(digest, sizeof digest, "%016zx", std::hash<std::string>{}(own));
        name += digest;
    }
    name += suffix;
    return target.parent_path() / name;
}

std::int64_t file_size_or_zero(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? std::int64_t(status.st_size) : 0;
}

bool write_whole(int fd, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC; // a write that takes nothing: the disk is full
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

Text partial_note(const PartialInfo& info) {
    return "length " + std::to_string(info.length) + "\netag " + info.etag + "\nlast-modified " +
           info.last_modified + "\n";
}

PartialInfo read_partial_note(std::string_view note) {
    PartialInfo info;
    std::istringstream in{std::string(note)};
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "length")
            info.length = value.empty() ? -1 : std::atoll(value.c_str());
        else if (key == "etag")
            info.etag = value;
        else if (key == "last-modified")
            info.last_modified = value;
    }
    return info;
}

fs::path partial_file_path(const fs::path& target) {
    return hidden_beside(target, ".part");
}

fs::path partial_info_path(const fs::path& target) {
    // The note is written under a temporary name of 15 more bytes first.
    return hidden_beside(target, ".part-info", 15);
}

PartialFile::PartialFile(const fs::path& target)
    : target_(target), data_path_(partial_file_path(target)),
      info_path_(partial_info_path(target)) {
    load_info();
    on_disk_ = file_size_or_zero(data_path_);
}

PartialFile::~PartialFile() {
    close();
}

void PartialFile::load_info() {
    std::ifstream in(info_path_, std::ios::binary);
    info_ = read_partial_note(std::string(std::istreambuf_iterator<char>(in), {}));
}

std::int64_t PartialFile::resumable() const {
    return info_.length > 0 && on_disk_ > 0 && on_disk_ < info_.length ? on_disk_ : 0;
}

bool PartialFile::failed() {
    error_ = errno;
    return false;
}

bool PartialFile::resume() {
    close();
    fd_ = ::open(data_path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    size_ = fd_ == -1 ? 0 : file_size_or_zero(data_path_);
    return fd_ != -1 || failed();
}

bool PartialFile::start_over(const PartialInfo& info) {
    close();
    info_ = info;
    size_ = 0;
    // The note is whole or absent, and on disk before the bytes it describes.
    if (!write_file_atomically(info_path_, partial_note(info)))
        return failed();
    fd_ = ::open(data_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ != -1 || failed();
}

bool PartialFile::append(const char* data, std::size_t size) {
    if (fd_ == -1)
        return false;
    if (!write_whole(fd_, data, size))
        return failed();
    size_ += std::int64_t(size);
    return true;
}

bool PartialFile::close() {
    if (fd_ == -1)
        return true;
    const bool ok = ::close(fd_) == 0 || failed();
    fd_ = -1;
    on_disk_ = file_size_or_zero(data_path_);
    return ok;
}

bool PartialFile::finish() {
    if (!close())
        return false;
    if (!rename_durably(data_path_, target_))
        return failed();
    ::unlink(info_path_.c_str());
    on_disk_ = 0;
    return true;
}

void PartialFile::discard() {
    close();
    ::unlink(data_path_.c_str());
    ::unlink(info_path_.c_str());
    on_disk_ = 0;
    size_ = 0;
}

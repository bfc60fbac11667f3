#include "transfer/partial_file.hpp"

#include "files/files.hpp"
#include "transfer/episode_download.hpp"

#include <cstdio>
#include <cstdlib>
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

} // namespace

Text partial_note(const PartialInfo& info) {
    return "length " + std::to_string(info.length) + "\netag " + info.etag + "\nlast-modified " +
           info.last_modified + "\nfile " + std::to_string(info.file) + "\n";
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
        else if (key == "file")
            info.file = std::strtoull(value.c_str(), nullptr, 10);
    }
    return info;
}

fs::path partial_file_path(const fs::path& target) {
    return hidden_beside(target, ".part");
}

fs::path partial_info_path(const fs::path& target) {
    // Names that need a digest keep the room of a temporary name of 15 more
    // bytes, so that a note an older version left is still found and replaced.
    return hidden_beside(target, ".part-info", 15);
}

PartialFile::PartialFile(const fs::path& target, FileObserver observer)
    : target_(target), data_path_(partial_file_path(target)),
      info_path_(partial_info_path(target)), data_(std::move(observer)) {
    std::ifstream in(info_path_, std::ios::binary);
    info_ = read_partial_note(std::string(std::istreambuf_iterator<char>(in), {}));
    look_on_disk();
}

PartialFile::~PartialFile() {
    close();
}

void PartialFile::look_on_disk() {
    struct stat status {};
    const bool there = ::stat(data_path_.c_str(), &status) == 0;
    on_disk_ = there ? std::int64_t(status.st_size) : 0;
    on_disk_file_ = there ? std::uint64_t(status.st_ino) : 0;
}

// Bytes of another file than the note names, or more than it announced, are
// not continued.
std::int64_t PartialFile::resumable() const {
    const bool described = info_.file != 0 && info_.file == on_disk_file_;
    return described && info_.length > 0 && on_disk_ > 0 && on_disk_ < info_.length ? on_disk_
                                                                                      : 0;
}

bool PartialFile::failed() {
    error_ = errno;
    return false;
}

bool PartialFile::resume() {
    close();
    const bool opened = data_.open_to_append(data_path_);
    size_ = opened ? data_.size() : 0;
    return opened || failed();
}

// The note names the new file, so that no note of an earlier start can pass
// for its own. It is written plainly, once the file exists.
bool PartialFile::start_over(const PartialInfo& info) {
    close();
    size_ = 0;
    info_ = info;
    if (!data_.create(data_path_))
        return failed();
    info_.file = data_.identity();
    StreamedFile note;
    const Text text = partial_note(info_);
    if (!note.create(info_path_) || !note.append(text.data(), text.size()) || !note.close())
        return failed();
    return true;
}

bool PartialFile::append(const char* data, std::size_t size) {
    return data_.append(data, size) || failed();
}

bool PartialFile::close() {
    if (!data_.is_open())
        return true;
    size_ = data_.size();
    const bool ok = data_.close() || failed();
    look_on_disk();
    return ok;
}

bool PartialFile::finish(const std::function<bool(const fs::path&)>& prepare) {
    size_ = data_.size();
    const bool made = data_.finish_as(target_, prepare) || failed();
    if (made || prepare) {
        if (!made)
            ::unlink(data_path_.c_str());
        ::unlink(info_path_.c_str());
    }
    look_on_disk();
    return made;
}

void PartialFile::discard() {
    close();
    ::unlink(data_path_.c_str());
    ::unlink(info_path_.c_str());
    look_on_disk();
    size_ = 0;
}

#include "files/files.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <cstdio>
#include <random>
#include <system_error>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path& program_folder_override() {
    static fs::path folder;
    return folder;
}

std::string utf8_of(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

template <typename Keep>
std::vector<FolderEntry> list_entries(const fs::path& folder, Keep keep) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::path name = it->path().filename();
        std::string native_name = utf8_of(name);
        if (native_name.empty() || native_name[0] == '.')
            continue;
        if (!keep(*it, native_name))
            continue;
        entries.push_back({utf8_to_gbk(native_name), it->path()});
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return natural_less(a.name, b.name);
    });
    return entries;
}

// Makes a rename in the folder durable.
void sync_folder(const fs::path& target) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}


} // namespace

fs::path program_folder_path() {
    if (!program_folder_override().empty())
        return program_folder_override();
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
    fs::path cwd = fs::current_path(ec);
    return ec ? fs::path() : cwd;
}

Text program_folder() { return text_path(program_folder_path()); }

void set_program_folder(const fs::path& folder) { program_folder_override() = folder; }

Text current_folder() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return ec ? Text() : text_path(cwd);
}

fs::path native_path(const Text& path) {
    std::string utf8 = gbk_to_utf8(path);
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

Text text_path(const fs::path& path) { return utf8_to_gbk(utf8_of(path)); }

Text join_path(const Text& folder, const Text& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool create_folder(const Text& path) {
    std::error_code ec;
    fs::path native = native_path(path);
    fs::create_directories(native, ec);
    return fs::is_directory(native, ec);
}

bool write_file_atomically(const fs::path& target, std::string_view content,
                           std::optional<fs::perms> mode) {
    thread_local std::mt19937_64 random{std::random_device{}()}; // transfers write from several threads
    fs::path temp = target;
    temp += ".tmp-" + std::to_string(random() % 1000000000);
    const auto bits = mode ? ::mode_t(*mode & fs::perms::mask) : ::mode_t(0644);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, bits);
    if (fd < 0)
        return false;
    // Created narrower by the umask; now exactly the mode asked for.
    int error = mode && ::fchmod(fd, bits) != 0 ? errno : 0;
    for (std::size_t done = 0; error == 0 && done < content.size();) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC; // a write that takes nothing: the disk is full
        else
            done += std::size_t(n);
    }
    // The data must be on disk before the rename makes it the file.
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    sync_folder(target);
    return true;
}

bool rename_durably(const fs::path& from, const fs::path& target) {
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced && rename_synced(from, target);
}

bool rename_synced(const fs::path& from, const fs::path& target) {
    if (std::rename(from.c_str(), target.c_str()) != 0)
        return false;
    sync_folder(target);
    return true;
}

WriteFailure write_failure_of(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return WriteFailure::no_space;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR:
        return WriteFailure::cannot_write;
    default:
        return WriteFailure::other;
    }
}

std::vector<FolderEntry> list_subfolders(const Text& folder) {
    return list_entries(native_path(folder), [](const fs::directory_entry& e, const std::string&) {
        std::error_code ec;
        return e.is_directory(ec);
    });
}

std::vector<FolderEntry> list_files(const Text& folder, std::string_view extension) {
    return list_files_in(native_path(folder), extension);
}

std::vector<FolderEntry> list_files_in(const fs::path& folder, std::string_view extension) {
    return list_entries(folder, [extension](const fs::directory_entry& e, const std::string& n) {
        std::error_code ec;
        if (e.is_directory(ec) || n.size() < extension.size())
            return false;
        return equals_ignore_case(std::string_view(n).substr(n.size() - extension.size()),
                                  extension);
    });
}

bool natural_less(std::string_view a, std::string_view b) {
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            std::size_t i0 = i, j0 = j;
            while (i0 < a.size() && a[i0] == '0')
                ++i0;
            while (j0 < b.size() && b[j0] == '0')
                ++j0;
            std::size_t i1 = i0, j1 = j0;
            while (i1 < a.size() && is_digit(a[i1]))
                ++i1;
            while (j1 < b.size() && is_digit(b[j1]))
                ++j1;
            if (i1 - i0 != j1 - j0)
                return i1 - i0 < j1 - j0;
            int c = a.substr(i0, i1 - i0).compare(b.substr(j0, j1 - j0));
            if (c != 0)
                return c < 0;
            i = i1, j = j1;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i, ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

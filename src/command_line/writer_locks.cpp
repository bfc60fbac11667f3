#include "command_line/writer_locks.hpp"

#include "files/files.hpp"
#include "settings/config_location.hpp"
#include "site/download_paths.hpp"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

constexpr int poll_ms = 100;

} // namespace

fs::path WriterLocks::configuration_lock() {
    return configuration_folder() / fs::path(u8".audiobook-client-writer.lock");
}

fs::path WriterLocks::save_folder_lock(const Text& save_folder) {
    const fs::path folder = native_path(effective_save_folder(save_folder));
    std::error_code error;
    fs::create_directories(folder, error);
    return folder / ".audiobook-client-writer.lock";
}

bool WriterLocks::take(std::vector<fs::path> locks, const std::function<void()>& waiting,
                       const std::function<bool()>& stopped) {
    // The configuration folder's first, then the save folders' in a fixed order.
    std::stable_sort(locks.begin() + std::min<std::ptrdiff_t>(1, std::ssize(locks)), locks.end());
    locks.erase(std::unique(locks.begin(), locks.end()), locks.end());
    bool said = false;
    for (const fs::path& path : locks) {
        auto lock = std::make_unique<QLockFile>(QFile::decodeName(path.c_str()));
        lock->setStaleLockTime(0); // only a dead owner's lock is stale
        while (!lock->tryLock(poll_ms)) {
            if (lock->error() != QLockFile::LockFailedError)
                return false;
            if (!said && waiting) {
                said = true;
                waiting();
            }
            QCoreApplication::processEvents();
            if (stopped && stopped())
                return false;
        }
        held_.push_back(std::move(lock));
    }
    return true;
}

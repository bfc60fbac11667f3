#pragma once
// One writer at a time without a window: a command that writes takes a lock in
// the configuration folder (追更.ini, the library files) and one in each save
// folder it writes into, always in that order, so that two commands never each
// hold one and wait for the other. A second command waits for the first,
// saying so, until it ends or is stopped. A lock left by a command that
// crashed is taken back.
#include "text/text.hpp"

#include <QLockFile>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class WriterLocks {
  public:
    // The lock of the configuration folder, and that of a save folder (made
    // when missing).
    static std::filesystem::path configuration_lock();
    static std::filesystem::path save_folder_lock(const Text& save_folder);

    // Takes every lock, waiting for each; `waiting` is called once when one
    // is held by another command, `stopped` is asked while waiting. False when
    // stopped, or when a lock cannot be made at all.
    bool take(std::vector<std::filesystem::path> locks, const std::function<void()>& waiting,
              const std::function<bool()>& stopped);

  private:
    std::vector<std::unique_ptr<QLockFile>> held_;
};

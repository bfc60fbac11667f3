#pragma once
// A disk of its own for the tests of a full or read-only disk: a tmpfs of a few
// kilobytes mounted on a temporary folder, so that writes fail with the very
// errors a real disk gives (ENOSPC when full, EROFS when mounted read-only).
// Mounting needs the superuser, as ./test.sh runs; without it mounted() is false
// and the test skips.
#include <sys/mount.h>

#include <cstddef>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <system_error>

class SmallDisk {
  public:
    explicit SmallDisk(std::size_t kilobytes, bool read_only = false) {
        char pattern[] = "/tmp/small-disk-XXXXXX";
        if (!mkdtemp(pattern))
            return;
        path = pattern;
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0755";
        mounted_ = ::mount("tmpfs", pattern, "tmpfs", read_only ? MS_RDONLY : 0,
                           options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(path.c_str(), MNT_DETACH);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    std::filesystem::path path;

  private:
    bool mounted_ = false;
};

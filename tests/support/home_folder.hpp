#pragma once
// Makes a temporary folder the user's home for a while, with no folder settings
// of the desktop in it: the music folder is then <home>/Music.
#include <filesystem>
#include <optional>
#include <stdlib.h>
#include <string>

struct HomeFolder {
    std::filesystem::path path;
    std::optional<std::string> old_home, old_config;

    HomeFolder() {
        char pattern[] = "/tmp/home-test-XXXXXX";
        path = mkdtemp(pattern);
        old_home = take("HOME");
        old_config = take("XDG_CONFIG_HOME");
        setenv("HOME", path.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path / ".config").c_str(), 1);
    }
    ~HomeFolder() {
        put("HOME", old_home);
        put("XDG_CONFIG_HOME", old_config);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    HomeFolder(const HomeFolder&) = delete;
    HomeFolder& operator=(const HomeFolder&) = delete;

    // Where downloads go while no save folder is set.
    std::filesystem::path default_save_folder() const {
        return path / "Music" / u8"有声书";
    }

  private:
    static std::optional<std::string> take(const char* name) {
        const char* value = getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void put(const char* name, const std::optional<std::string>& value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
};

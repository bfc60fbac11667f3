#include "settings/config_location.hpp"

#include "files/files.hpp"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* program_name = "audiobook-client";
constexpr const char8_t* file_name = u8"配置文件.ini";
constexpr const char8_t* positions_name = u8"收听位置.ini";
constexpr const char* desktop_entry = "io.github.audiobook_client.desktop";

// A folder that exists and that its mode bits and access() both let us write:
// the superuser, whom access() lets through, leaves a protected folder alone too.
bool writable_folder(const fs::path& folder) {
    std::error_code ec;
    fs::file_status status = fs::status(folder, ec);
    if (ec || !fs::is_directory(status))
        return false;
    using fs::perms;
    const perms write_bits = perms::owner_write | perms::group_write | perms::others_write;
    return (status.permissions() & write_bits) != perms::none &&
           ::access(folder.c_str(), W_OK) == 0;
}

bool exists_in_read_only_folder(const fs::path& folder) {
    std::error_code ec;
    return fs::is_directory(folder, ec) && !writable_folder(folder);
}

// Installed with its menu entry (<prefix>/bin beside <prefix>/share/applications),
// as a package or `cmake --install` puts it: the bin folder is no place for the
// user's files, even for a user who may write there.
bool installed(const fs::path& folder) {
    std::error_code ec;
    return folder.filename() == "bin" &&
           fs::exists(folder.parent_path() / "share" / "applications" / desktop_entry, ec);
}

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; empty without a home.
fs::path user_configuration_home() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute())
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && *home)
        return fs::path(home) / ".config";
    return {};
}

} // namespace

fs::path configuration_folder() {
    const fs::path beside = program_folder_path();
    std::error_code ec;
    if (fs::exists(beside / file_name, ec) ||
        (!exists_in_read_only_folder(beside) && !installed(beside)))
        return beside;
    const fs::path home = user_configuration_home();
    if (home.empty())
        return beside;
    const fs::path folder = home / program_name;
    fs::create_directories(folder, ec);
    return folder;
}

fs::path configuration_file() {
    return configuration_folder() / file_name;
}

fs::path listening_positions_file() {
    return configuration_folder() / positions_name;
}

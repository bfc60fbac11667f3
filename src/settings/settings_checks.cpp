#include "settings/settings_checks.hpp"

#include "files/files.hpp"
#include "text/gbk.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// The longest text a check gives.
const char* const host_name_wanted = "须是主机名，可带端口，如 media.example.com:8080";

bool host_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '-';
}

bool all_digits(const Text& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A whole number from `least` to `most`, or empty.
Text whole_number_problem(const Text& typed, long least, long most, const char* range) {
    const Text text = trim_spaces(typed);
    if (text.empty())
        return {};
    // "-5" is a whole number, but not one the field takes.
    if (!all_digits(text))
        return gbk(least > 0 ? "须是正整数" : "须是 0 或正整数");
    if (text.size() > 6 || std::stol(text) < least || std::stol(text) > most)
        return gbk(range);
    return {};
}

} // namespace

Text start_episode_problem(const Text& typed) {
    return whole_number_problem(typed, 0, 99999, "须在 0 到 99999 之间");
}

Text episode_count_problem(const Text& typed) {
    return whole_number_problem(typed, 1, 9999, "须在 1 到 9999 之间");
}

Text media_host_problem(const Text& typed) {
    const Text text = trim_spaces(typed);
    if (text.empty())
        return {};
    const std::size_t colon = text.find(':');
    const Text host = text.substr(0, colon);
    for (char c : host)
        if (!host_character(c))
            return gbk(host_name_wanted);
    // What follows the colon is a port only when nothing in it belongs to an
    // address ("http://bad host/" names no port at all).
    if (colon != Text::npos)
        for (char c : text.substr(colon + 1))
            if (!host_character(c))
                return gbk(host_name_wanted);
    if (host.empty())
        return gbk("缺少主机名");
    if (colon != Text::npos) {
        const Text port = text.substr(colon + 1);
        if (!all_digits(port) || port.size() > 5 || std::stol(port) < 1 || std::stol(port) > 65535)
            return gbk("端口须是 1 到 65535 的整数");
    }
    return {};
}

Text save_folder_problem(const Text& typed, bool gbk_holds) {
    if (!gbk_holds)
        return gbk("文件夹名里有无法保存的字符");
    const Text text = trim_spaces(typed);
    if (text.empty())
        return {};
    if (text.front() != '/')
        return gbk("须是完整路径（以 / 开头）");
    return {};
}

Text save_folder_write_problem(const Text& folder) {
    if (trim_spaces(folder).empty())
        return {}; // the music folder's 有声书, made by the first download
    if (!create_folder(folder))
        return gbk("无法创建这个文件夹");
    const std::filesystem::path probe = native_path(folder) / ".audiobook-write-test";
    bool written = false;
    {
        std::ofstream out(probe, std::ios::binary);
        written = bool(out << "test") && bool(out.flush());
    }
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return written ? Text() : gbk("无法写入这个文件夹");
}

Text longest_problem() {
    return gbk(host_name_wanted);
}

#include "site/download_paths.hpp"

#include "files/files.hpp"
#include "settings/save_folder.hpp"
#include "text/gbk.hpp"

#include <cstdint>
#include <cstdio>

namespace {

bool unsafe_byte(unsigned char b) {
    switch (b) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return b < 0x20 || b == 0x7F;
    }
}

// Replaces the unsafe single-byte characters; two-byte characters stay whole.
Text replace_unsafe(const Text& text) {
    Text out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const int length = gbk_char_length(text, i);
        if (length == 1) {
            const auto b = static_cast<unsigned char>(text[i]);
            out += unsafe_byte(b) ? '_' : text[i];
        } else {
            out.append(text, i, std::size_t(length));
        }
        i += std::size_t(length);
    }
    return out;
}

// Names on disk hold at most 255 bytes (in UTF-8 here, where a Chinese character
// takes three). A title keeps room for the "_第…集.mp3" its files add.
constexpr std::size_t name_limit_bytes = 200;

// A changed title keeps room for "_" and six hex digits after its safe name.
constexpr std::size_t suffix_bytes = 7;

// The longest start of the text, in whole characters, that fits the limit on disk.
Text fit_on_disk(const Text& text, std::size_t limit) {
    std::size_t disk_bytes = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto length = std::size_t(gbk_char_length(text, i));
        disk_bytes += gbk_to_utf8(std::string_view(text).substr(i, length)).size();
        if (disk_bytes > limit)
            break;
        i += length;
    }
    return text.substr(0, i);
}

Text safe_name(const Text& text, std::size_t limit) {
    Text name = fit_on_disk(replace_unsafe(text), limit);
    // Neither byte can be the second byte of a two-byte character.
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    if (name.empty())
        return "_";
    if (name.front() == '.')
        name.front() = '_';
    return name;
}

// FNV-1a over the bytes, folded to 24 bits: six hex digits that stay the same
// from run to run and machine to machine.
Text title_digest(const Text& text) {
    std::uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char digits[7];
    std::snprintf(digits, sizeof digits, "%06x", unsigned((hash >> 24) ^ (hash & 0xFFFFFFu)));
    return digits;
}

} // namespace

Text safe_path_component(const Text& text) {
    return safe_name(text, name_limit_bytes);
}

Text book_name(const Text& title) {
    if (safe_path_component(title) == title)
        return title;
    return safe_name(title, name_limit_bytes - suffix_bytes) + "_" + title_digest(title);
}

Text effective_save_folder(const Text& save_folder) {
    return save_folder.empty() ? default_save_folder() : save_folder;
}

Text book_folder(const Text& save_folder, const Text& title) {
    return join_path(effective_save_folder(save_folder), book_name(title));
}

std::filesystem::path downloaded_file_on_disk(const Text& save_folder, const Text& title,
                                              const Text& label) {
    if (title.empty())
        return {};
    const std::filesystem::path file = native_path(downloaded_file_path(save_folder, title, label));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) == 0 ||
        ec)
        return {};
    return file;
}

Text downloaded_file_path(const Text& save_folder, const Text& title, const Text& label) {
    const Text name = book_name(title) + "_" + replace_unsafe(label) + ".mp3";
    return join_path(book_folder(save_folder, title), name);
}

int episode_number_in_name(const Text& file_name) {
    const Text before = gbk("第"), after = gbk("集");
    for (std::size_t at = file_name.rfind(before); at != Text::npos;
         at = at == 0 ? Text::npos : file_name.rfind(before, at - 1)) {
        std::size_t end = at + before.size();
        int number = 0;
        while (end < file_name.size() && file_name[end] >= '0' && file_name[end] <= '9' &&
               number < 1000000)
            number = number * 10 + (file_name[end++] - '0');
        if (end > at + before.size() && file_name.compare(end, after.size(), after) == 0)
            return number;
    }
    return 0;
}

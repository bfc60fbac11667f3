#pragma once
// A book's playlist, "<书名>.m3u8" in its folder: UTF-8, "#EXTM3U", and for each
// episode in episode order an "#EXTINF" line with its length in seconds (-1
// when unknown) and title, then the file's name relative to the folder.
#include "text/text.hpp"

#include <filesystem>
#include <string>
#include <vector>

struct PlaylistEntry {
    Text title;                      // GBK
    std::filesystem::path file_name; // the file's own name in the folder
    int seconds = -1;
};

// The playlist's UTF-8 text.
std::string playlist_text(const std::vector<PlaylistEntry>& entries);

// The episode's title in a playlist: its file's name without the book's name
// before it ("<书名>_第3集.mp3" gives "第3集") and without the extension.
Text playlist_title(const Text& file_name, const Text& book_name);

#include "tagging/book_playlist.hpp"

#include "text/gbk.hpp"

#include <cstring>

namespace {

// A title on one line: line ends would start a line of their own.
std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

std::string playlist_text(const std::vector<PlaylistEntry>& entries) {
    std::string text = "#EXTM3U\n";
    for (const PlaylistEntry& entry : entries) {
        text += "#EXTINF:" + std::to_string(entry.seconds < 0 ? -1 : entry.seconds) + "," +
                one_line(gbk_to_utf8(entry.title)) + "\n";
        text += one_line(entry.file_name.string()) + "\n";
    }
    return text;
}

Text playlist_title(const Text& file_name, const Text& book_name) {
    Text title = file_name;
    if (const auto dot = title.rfind('.'); dot != Text::npos && dot > 0)
        title.erase(dot);
    const Text prefix = book_name + "_";
    if (title.size() > prefix.size() && title.compare(0, prefix.size(), prefix) == 0)
        title.erase(0, prefix.size());
    return title;
}

#include "playback/listening_positions.hpp"

#include "files/files.hpp"
#include "text/gbk.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

namespace {

const Text& section_header() {
    static const Text header = gbk("[收听位置]");
    return header;
}

bool storable(const Text& episode) {
    return !episode.empty() && episode.find_first_of(std::string_view("\r\n\0", 3)) == Text::npos;
}

// "ordinal=position|episode"; the ordinal only orders the lines of the file.
std::optional<std::pair<Text, std::int64_t>> parse_line(std::string_view line) {
    const std::size_t equals = line.find('=');
    const std::size_t bar = line.find('|', equals == std::string_view::npos ? 0 : equals);
    if (equals == std::string_view::npos || bar == std::string_view::npos)
        return std::nullopt;
    std::int64_t position = 0;
    const char* first = line.data() + equals + 1;
    const char* last = line.data() + bar;
    auto [end, error] = std::from_chars(first, last, position);
    Text episode(line.substr(bar + 1));
    if (error != std::errc() || end != last || position < 0 || !storable(episode))
        return std::nullopt;
    return std::make_pair(std::move(episode), position);
}

} // namespace

ListeningPositions::ListeningPositions(std::filesystem::path file) : file_(std::move(file)) {
    std::ifstream in(file_, std::ios::binary);
    std::string content(std::istreambuf_iterator<char>(in), {});
    bool in_section = false;
    for (Text line : split_text(content, "\n")) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with("[")) {
            in_section = trim_spaces(line) == section_header();
            continue;
        }
        auto entry = in_section ? parse_line(line) : std::nullopt;
        if (entry && entries_.size() < capacity && !position(entry->first))
            entries_.push_back(std::move(*entry));
    }
}

std::optional<std::int64_t> ListeningPositions::position(const Text& episode) const {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const auto& entry) { return entry.first == episode; });
    if (found == entries_.end())
        return std::nullopt;
    return found->second;
}

void ListeningPositions::remember(const Text& episode, std::int64_t position_ms) {
    if (!storable(episode))
        return;
    position_ms = std::max<std::int64_t>(position_ms, 0);
    if (!entries_.empty() && entries_.front().first == episode) {
        changed_ = changed_ || entries_.front().second != position_ms;
        entries_.front().second = position_ms;
        return;
    }
    forget(episode);
    entries_.insert(entries_.begin(), {episode, position_ms});
    if (entries_.size() > capacity)
        entries_.resize(capacity);
    changed_ = true;
}

void ListeningPositions::forget(const Text& episode) {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const auto& entry) { return entry.first == episode; });
    if (found == entries_.end())
        return;
    entries_.erase(found);
    changed_ = true;
}

bool ListeningPositions::save() {
    if (!changed_)
        return true;
    std::string content = section_header() + "\r\n";
    for (std::size_t i = 0; i < entries_.size(); ++i)
        content += std::to_string(i + 1) + "=" + std::to_string(entries_[i].second) + "|" +
                   entries_[i].first + "\r\n";
    if (!write_file_atomically(file_, content))
        return false;
    changed_ = false;
    return true;
}

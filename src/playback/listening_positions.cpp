#include "playback/listening_positions.hpp"

#include "files/files.hpp"
#include "listening/ini_document.hpp"
#include "text/gbk.hpp"

#include <algorithm>
#include <charconv>

namespace {

const Text& section_name() {
    static const Text name = gbk("收听位置");
    return name;
}

bool storable(const Text& episode) {
    return !episode.empty() && episode.find_first_of(std::string_view("\r\n\0", 3)) == Text::npos;
}

// "position|episode", the value of a line whose key (an ordinal) only orders the
// lines of the file.
std::optional<std::pair<Text, std::int64_t>> parse_entry(std::string_view value) {
    const std::size_t bar = value.find('|');
    if (bar == std::string_view::npos)
        return std::nullopt;
    std::int64_t position = 0;
    const char* first = value.data();
    const char* last = value.data() + bar;
    auto [end, error] = std::from_chars(first, last, position);
    Text episode(value.substr(bar + 1));
    if (error != std::errc() || end != last || position < 0 || !storable(episode))
        return std::nullopt;
    return std::make_pair(std::move(episode), position);
}

} // namespace

ListeningPositions::ListeningPositions(std::filesystem::path file) : file_(std::move(file)) {
    for (const auto& [ordinal, value] : IniDocument::read(file_).entries(section_name())) {
        auto entry = parse_entry(value);
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
    std::vector<std::pair<Text, Text>> lines;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        lines.emplace_back(std::to_string(i + 1),
                           std::to_string(entries_[i].second) + "|" + entries_[i].first);
    IniDocument document;
    document.replace_section(section_name(), std::move(lines));
    if (!document.write(file_))
        return false;
    changed_ = false;
    return true;
}

#pragma once
// Where the user stopped listening to each episode: a small GBK INI file of its
// own, keyed by the episode's file or address, most recent first, holding at
// most `capacity` episodes.
//
//     [收听位置]
//     1=754000|http://media.host/yousheng/.../1.mp3?key=...
//     2=15320|/home/user/有声书/书名/书名_第2集.mp3
//
// Each line is an ordinal, the position in milliseconds, "|", and the episode.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

class ListeningPositions {
  public:
    static constexpr std::size_t capacity = 500;

    // Reads the file; a missing or unreadable file holds nothing.
    explicit ListeningPositions(std::filesystem::path file);

    std::optional<std::int64_t> position(const Text& episode) const;
    // Makes the episode the most recent one; the oldest beyond `capacity` go.
    void remember(const Text& episode, std::int64_t position_ms);
    void forget(const Text& episode);
    std::size_t size() const { return entries_.size(); }

    // Writes the file (atomically) when something changed since the last save.
    bool save();

  private:
    std::filesystem::path file_;
    std::vector<std::pair<Text, std::int64_t>> entries_; // most recent first
    bool changed_ = false;
};

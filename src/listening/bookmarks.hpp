#pragma once
// Bookmarks: places in a book's episodes the user wants to come back to, each
// with an optional short note, and per book one automatic bookmark, where
// playback was before its last long jump. Kept in a GBK INI file of their own,
// beside the listening file, written atomically by `save`:
//
//     [书签:三体]
//     保存=/home/user/有声书
//     自动集=第3集
//     自动位置=754000
//     自动网址=http://…/3.mp3
//     1集=第2集
//     1位置=125000
//     1备注=the duel
//     1网址=http://…/2.mp3
//     1文件=/home/user/有声书/三体/第2集.mp3
//
// Positions are milliseconds into the episode. No Qt.
#include "listening/ini_document.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

struct Bookmark {
    Text label;  // the episode's label, "第3集"
    Text remote; // the episode's address on the Media host, if it has one
    Text local;  // its file on disk, if it has one
    std::int64_t position = 0;
    Text note; // one line
    bool automatic = false;

    // What plays: the file once there is one, otherwise the address.
    const Text& address() const { return local.empty() ? remote : local; }
    bool operator==(const Bookmark&) const = default;
};

class Bookmarks {
  public:
    static constexpr std::size_t note_limit = 200; // bytes; longer notes are cut

    // Reads the file; a missing or unreadable one holds no bookmarks.
    explicit Bookmarks(std::filesystem::path file);

    // The book's bookmarks: the automatic one first (if any), then the others
    // in the order they were added.
    std::vector<Bookmark> of(const Text& book) const;
    // The save folder the book's episodes were listed under when its last
    // bookmark was added.
    Text save_folder(const Text& book) const;

    // Adds a bookmark (or, when it is automatic, replaces the book's automatic
    // one). False for a bookmark without an episode or a book without a title.
    bool add(const Text& book, const Text& save_folder, Bookmark bookmark);
    // `index` counts as `of` lists them.
    bool rename(const Text& book, std::size_t index, const Text& note);
    bool remove(const Text& book, std::size_t index);

    bool save();

  private:
    void store(const Text& book, const Text& save_folder, const std::vector<Bookmark>& marks);

    std::filesystem::path file_;
    IniDocument document_;
    bool changed_ = false;
};

// A note as it is kept: on one line, without surrounding blanks, at most
// `Bookmarks::note_limit` bytes, never cut inside a GBK character.
Text bookmark_note(const Text& note);

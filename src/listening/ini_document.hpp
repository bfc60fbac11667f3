#pragma once
// A small GBK INI document held in memory: sections in file order, keys in
// section order, read from and written to one file at once (atomically). Lines
// are "key=value"; CRLF on writing, CRLF or LF on reading.
#include "text/text.hpp"

#include <filesystem>
#include <utility>
#include <vector>

class IniDocument {
  public:
    // Files are read up to this many bytes and no further.
    static constexpr std::size_t size_limit = 8 * 1024 * 1024;

    // A missing or unreadable file gives an empty document.
    static IniDocument read(const std::filesystem::path& file);
    // The document a file's text gives (CR, LF or CRLF line ends).
    static IniDocument parse(std::string_view content);

    // Empty when the section or key is missing.
    Text value(const Text& section, const Text& key) const;
    // An empty value removes the key; a section left without keys goes too.
    void set(const Text& section, const Text& key, const Text& value);
    // The section's keys and values in order.
    std::vector<std::pair<Text, Text>> entries(const Text& section) const;
    void replace_section(const Text& section, std::vector<std::pair<Text, Text>> entries);

    Text to_text() const;
    bool write(const std::filesystem::path& file) const;

    // Section names and keys must not hold "[", "]", "=" or line breaks, nor
    // begin or end with a space; values hold no line breaks. Others are not
    // stored.
    static bool storable(const Text& name);

  private:
    struct Section {
        Text name;
        std::vector<std::pair<Text, Text>> entries;
    };
    Section* find(const Text& section);
    const Section* find(const Text& section) const;

    std::vector<Section> sections_;
};

#include "listening/ini_document.hpp"

#include "files/files.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

bool has_line_break(const Text& text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos;
}

} // namespace

// Reading trims names and takes a line opening with "[" for a section, so a
// name with spaces at its ends or a "[" would not read back as written.
bool IniDocument::storable(const Text& name) {
    return !name.empty() && !has_line_break(name) && name.find_first_of("[]=") == Text::npos &&
           trim_spaces(name) == name;
}

IniDocument IniDocument::read(const std::filesystem::path& file) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return {};
    std::ifstream in(file, std::ios::binary);
    std::string content(std::size_t(std::min<std::uintmax_t>(size, size_limit)), '\0');
    in.read(content.data(), std::streamsize(content.size()));
    content.resize(std::size_t(in.gcount()));
    return parse(content);
}

IniDocument IniDocument::parse(std::string_view content) {
    IniDocument document;
    Text text(content);
    std::replace(text.begin(), text.end(), '\r', '\n'); // CRLF gives an empty line between
    Section* current = nullptr;
    for (Text line : split_text(text, "\n")) {
        const Text trimmed = trim_spaces(line);
        if (trimmed.starts_with("[") && trimmed.ends_with("]")) {
            const Text name = trimmed.substr(1, trimmed.size() - 2);
            current = document.find(name);
            if (!current)
                current = &document.sections_.emplace_back(Section{name, {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!current || equals == Text::npos)
            continue;
        const Text key = trim_spaces(std::string_view(line).substr(0, equals));
        Text value = line.substr(equals + 1);
        // A NUL byte is damage, not text: such a value would not be kept
        // when its section is next written, so it is not read either. A key
        // met again (in the same section or one of the same name further on)
        // keeps its first value, the one it has always read as.
        const bool seen = std::any_of(current->entries.begin(), current->entries.end(),
                                      [&](const auto& entry) { return entry.first == key; });
        if (storable(key) && !has_line_break(value) && !seen)
            current->entries.emplace_back(key, std::move(value));
    }
    return document;
}

IniDocument::Section* IniDocument::find(const Text& section) {
    auto found = std::find_if(sections_.begin(), sections_.end(),
                              [&](const Section& s) { return s.name == section; });
    return found == sections_.end() ? nullptr : &*found;
}

const IniDocument::Section* IniDocument::find(const Text& section) const {
    return const_cast<IniDocument*>(this)->find(section);
}

Text IniDocument::value(const Text& section, const Text& key) const {
    const Section* s = find(section);
    if (!s)
        return {};
    for (const auto& [k, v] : s->entries)
        if (k == key)
            return v;
    return {};
}

void IniDocument::set(const Text& section, const Text& key, const Text& value) {
    if (!storable(section) || !storable(key) || has_line_break(value))
        return;
    std::vector<std::pair<Text, Text>> kept = entries(section);
    auto found = std::find_if(kept.begin(), kept.end(), [&](const auto& e) { return e.first == key; });
    if (found != kept.end() && value.empty())
        kept.erase(found);
    else if (found != kept.end())
        found->second = value;
    else if (!value.empty())
        kept.emplace_back(key, value);
    replace_section(section, std::move(kept));
}

std::vector<std::pair<Text, Text>> IniDocument::entries(const Text& section) const {
    const Section* s = find(section);
    return s ? s->entries : std::vector<std::pair<Text, Text>>{};
}

void IniDocument::replace_section(const Text& section, std::vector<std::pair<Text, Text>> entries) {
    if (!storable(section))
        return;
    std::erase_if(entries, [](const auto& e) { return !storable(e.first) || has_line_break(e.second); });
    Section* s = find(section);
    if (entries.empty()) {
        std::erase_if(sections_, [&](const Section& each) { return each.name == section; });
        return;
    }
    if (!s)
        s = &sections_.emplace_back(Section{section, {}});
    s->entries = std::move(entries);
}

Text IniDocument::to_text() const {
    Text out;
    for (const Section& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const auto& [key, value] : s.entries)
            out += key + "=" + value + "\r\n";
    }
    return out;
}

bool IniDocument::write(const std::filesystem::path& file) const {
    return write_file_atomically(file, to_text());
}

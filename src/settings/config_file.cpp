#include "settings/config_file.hpp"

#include "files/files.hpp"
#include "settings/config_location.hpp"
#include "text/gbk.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

// A small INI reader and writer. It reads the way the program always has: a
// missing file, section or key is the empty text; section and key names compare
// ignoring ASCII letter case; spaces and tabs around names and values do not
// count; a value between one pair of double quotes is read without them; lines
// whose first character is ";" are comments; a byte-order mark before the first
// line is no part of it. A write changes one line (or adds one, with the
// section header when needed) and keeps every other byte of the file, the mark
// and the file's mode included; new lines take the file's own line ending, CRLF
// for a new file.

namespace fs = std::filesystem;

namespace {

// A line of the file: its text without the line ending, and the ending itself
// ("\r\n", "\n", "\r", or nothing on a last line that has none). A CR alone ends
// a line as LF and CRLF do, whatever editor wrote the file; neither byte is ever
// part of a GBK character.
struct Line {
    std::string_view body;
    std::string_view ending;
};

std::vector<Line> split_lines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t body_end = content.find_first_of("\r\n", start);
        if (body_end == std::string_view::npos)
            body_end = content.size();
        std::size_t end = body_end;
        if (end < content.size())
            end += content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back(
            {content.substr(start, body_end - start), content.substr(body_end, end - body_end)});
        start = end;
    }
    return lines;
}

// The line ending new lines take: the file's first one, CRLF when it has none.
std::string_view line_ending_of(const std::vector<Line>& lines) {
    return lines.empty() || lines.front().ending.empty() ? std::string_view("\r\n")
                                                         : lines.front().ending;
}

// ASCII letters lowered, GBK double-byte characters left alone: their second
// byte may fall in the letter range and must not be folded.
Text fold_case(std::string_view text) {
    Text folded(text);
    for (std::size_t i = 0; i < folded.size();) {
        int length = gbk_char_length(folded, i);
        if (length == 1 && folded[i] >= 'A' && folded[i] <= 'Z')
            folded[i] = char(folded[i] - 'A' + 'a');
        i += std::size_t(length > 0 ? length : 1);
    }
    return folded;
}

bool same_name(std::string_view a, std::string_view b) {
    return fold_case(a) == fold_case(b);
}

// The name of a section header line ("[name]", spaces allowed around it and
// inside the brackets), or nothing when the line is not a header.
std::optional<Text> section_name(std::string_view body) {
    Text line = trim_blanks(body);
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    // Walk by characters: "]" is also a possible second byte of a GBK character.
    for (std::size_t i = 1; i < line.size();) {
        if (line[i] == ']')
            return trim_blanks(std::string_view(line).substr(1, i - 1));
        int length = gbk_char_length(line, i);
        i += std::size_t(length > 0 ? length : 1);
    }
    return trim_blanks(std::string_view(line).substr(1));
}

bool is_comment(std::string_view body) {
    Text line = trim_blanks(body);
    return !line.empty() && line[0] == ';';
}

// Where the key sits in the file's lines (indexes into the split lines).
struct KeyPlace {
    int section = -1;  // header line of the section, -1 when the section is missing
    int key = -1;      // line of the key, -1 when the key is missing
    int last_key = -1; // last key line of the section (the header when it has none)
};

KeyPlace find_key(const std::vector<Line>& lines, const Text& section, const Text& key) {
    KeyPlace place;
    for (int i = 0; i < int(lines.size()); ++i) {
        std::string_view body = lines[std::size_t(i)].body;
        if (auto name = section_name(body)) {
            if (place.section >= 0)
                break; // the section ended; later sections of the same name are ignored
            if (same_name(*name, section))
                place.section = place.last_key = i;
            continue;
        }
        if (place.section < 0 || is_comment(body))
            continue;
        std::size_t equals = body.find('='); // "=" is never a second byte of GBK
        if (equals == std::string_view::npos)
            continue;
        place.last_key = i;
        if (same_name(trim_blanks(body.substr(0, equals)), key)) {
            place.key = i;
            break;
        }
    }
    return place;
}

enum class ReadResult { ok, missing, failed };

ReadResult read_whole_file(const fs::path& path, std::string& content) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return ReadResult::missing;
    if (ec || status.type() != fs::file_type::regular)
        return ReadResult::failed;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ReadResult::failed;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? ReadResult::failed : ReadResult::ok;
}

bool has_write_permission_bit(fs::perms mode) {
    using fs::perms;
    return (mode & (perms::owner_write | perms::group_write | perms::others_write)) != perms::none;
}

// A file or folder marked read-only is left alone. The mode bits are checked
// as well as access(), so that the superuser, whom access() lets through, does
// not overwrite a configuration the user protected either.
bool may_write(const fs::path& file, bool file_exists, fs::perms& old_perms) {
    std::error_code ec;
    fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    fs::file_status folder_status = fs::status(folder, ec);
    if (ec || !fs::is_directory(folder_status) ||
        !has_write_permission_bit(folder_status.permissions()))
        return false;
    if (!file_exists)
        return true;
    old_perms = fs::status(file, ec).permissions();
    return !ec && has_write_permission_bit(old_perms) && ::access(file.c_str(), W_OK) == 0;
}

// Key names and values that would break the line structure are refused.
bool valid_key(std::string_view key) {
    return !key.empty() && key[0] != '[' && key[0] != ';' &&
           key.find_first_of(std::string_view("=\r\n\0", 4)) == std::string_view::npos;
}

bool valid_value(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// The UTF-8 byte-order mark an editor may put before the first line.
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

std::string_view without_mark(std::string_view content) {
    return content.starts_with(byte_order_mark) ? content.substr(byte_order_mark.size())
                                                : content;
}

// The value part of a key line as the program reads it.
Text value_of(std::string_view value_part) {
    Text value = trim_blanks(value_part);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

// The value as written to the file: quoted when it would not read back as
// itself otherwise (blanks at its ends, or quotes around it).
Text written_value(const Text& value) {
    return value_of(value) == value ? value : "\"" + value + "\"";
}

const Text& section_of_settings() {
    static const Text section = gbk("设置");
    return section;
}

} // namespace

fs::path settings_file_native_path() {
    return configuration_file();
}

Text settings_file_path() {
    return text_path(settings_file_native_path());
}

Text settings_value(std::string_view content, const Text& key) {
    std::vector<Line> lines = split_lines(without_mark(content));
    KeyPlace place = find_key(lines, section_of_settings(), trim_blanks(key));
    if (place.key < 0)
        return Text();
    std::string_view body = lines[std::size_t(place.key)].body;
    return value_of(body.substr(body.find('=') + 1));
}

std::optional<std::string> settings_with_value(std::string_view content, const Text& key,
                                               const Text& value) {
    const Text name = trim_blanks(key);
    if (!valid_key(name) || !valid_value(value))
        return std::nullopt;

    const std::string_view text = without_mark(content);
    const Text stored = written_value(value);
    std::vector<Line> lines = split_lines(text);
    const std::string_view eol = line_ending_of(lines);
    KeyPlace place = find_key(lines, section_of_settings(), name);
    std::string result(content.substr(0, content.size() - text.size())); // the mark, if any
    result.reserve(content.size() + name.size() + stored.size() + 16);
    if (place.key >= 0) {
        // Keep the name, the equals sign and the blanks after it as they were.
        const Line& line = lines[std::size_t(place.key)];
        std::size_t start = line.body.find('=') + 1;
        while (start < line.body.size() && (line.body[start] == ' ' || line.body[start] == '\t'))
            ++start;
        for (int i = 0; i < int(lines.size()); ++i) {
            const Line& l = lines[std::size_t(i)];
            if (i == place.key)
                result.append(l.body.substr(0, start)).append(stored).append(l.ending);
            else
                result.append(l.body).append(l.ending);
        }
    } else if (place.section >= 0) {
        for (int i = 0; i < int(lines.size()); ++i) {
            const Line& l = lines[std::size_t(i)];
            result.append(l.body).append(l.ending.empty() && i == place.last_key ? eol : l.ending);
            if (i == place.last_key)
                result.append(name).append("=").append(stored).append(eol);
        }
    } else {
        result = content;
        if (!lines.empty() && lines.back().ending.empty())
            result.append(eol); // the header starts a line of its own
        result.append("[").append(section_of_settings()).append("]").append(eol);
        result.append(name).append("=").append(stored).append(eol);
    }
    return result;
}

Text read_setting(const Text& key) {
    std::string content;
    if (read_whole_file(settings_file_native_path(), content) != ReadResult::ok)
        return Text();
    return settings_value(content, key);
}

bool write_setting(const Text& key, const Text& value) {
    if (!valid_key(trim_blanks(key)) || !valid_value(value))
        return false;

    fs::path file = settings_file_native_path();
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        // Write through a link to the file it names rather than replacing the link.
        fs::path resolved = fs::canonical(file, ec);
        if (!ec)
            file = resolved;
    }

    std::string content;
    ReadResult read = read_whole_file(file, content);
    if (read == ReadResult::failed)
        return false; // never replace a file that could not be read
    fs::perms old_perms = fs::perms::none;
    if (!may_write(file, read == ReadResult::ok, old_perms))
        return false;
    const std::optional<std::string> result = settings_with_value(content, key, value);
    if (!result)
        return false;

    // The new file keeps the old one's mode, and is never wider while written.
    return write_file_atomically(file, *result,
                                 read == ReadResult::ok ? std::optional(old_perms) : std::nullopt);
}

bool to_flag(std::optional<Text> text, std::optional<double> number, std::optional<int> mode) {
    if (mode.value_or(1) == 2)
        return number.value_or(0) != 0;
    return text.has_value() && *text == gbk("真");
}

Text flag_text(bool flag) {
    return flag ? gbk("真") : gbk("假");
}

int read_parallel_downloads() {
    const double value = text_to_number(trim_spaces(read_setting(gbk("同时下载"))));
    return value >= 4 ? 4 : value >= 2 ? int(value) : 1;
}

bool read_tag_writing() {
    const Text value = trim_spaces(read_setting(gbk("写入标签")));
    return value.empty() || to_flag(value);
}

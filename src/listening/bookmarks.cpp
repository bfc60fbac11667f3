#include "listening/bookmarks.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

Text section(const Text& book) {
    return gbk("书签:") + book;
}

const Text& automatic_key() {
    static const Text name = gbk("自动");
    return name;
}

// The fields of one bookmark, each under "<number or 自动><field>".
struct Fields {
    Text label, position, note, remote, local;
};

const char* const field_names[] = {"集", "位置", "备注", "网址", "文件"};

Text* field(Fields& fields, std::size_t n) {
    Text* all[] = {&fields.label, &fields.position, &fields.note, &fields.remote, &fields.local};
    return all[n];
}

bool is_digits(const Text& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

Text bookmark_note(const Text& note) {
    Text line = note;
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    const auto blank = [](char c) { return c == ' '; };
    while (!line.empty() && blank(line.back()))
        line.pop_back();
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), blank));
    if (line.size() <= Bookmarks::note_limit)
        return line;
    // A GBK character is a lead byte (0x81..0xFE) and a trail byte: walk them
    // whole so the cut falls between two.
    std::size_t end = 0;
    while (end < line.size()) {
        const std::size_t width = (static_cast<unsigned char>(line[end]) >= 0x81) ? 2 : 1;
        if (end + width > Bookmarks::note_limit)
            break;
        end += width;
    }
    return line.substr(0, end);
}

Bookmarks::Bookmarks(std::filesystem::path file)
    : file_(std::move(file)), document_(IniDocument::read(file_)) {}

std::vector<Bookmark> Bookmarks::of(const Text& book) const {
    std::vector<std::pair<Text, Fields>> found; // in file order, by number
    for (const auto& [key, value] : document_.entries(section(book))) {
        for (std::size_t n = 0; n < std::size(field_names); ++n) {
            const Text name = gbk(field_names[n]);
            if (key.size() <= name.size() || key.compare(key.size() - name.size(), name.size(), name) != 0)
                continue;
            const Text which = key.substr(0, key.size() - name.size());
            if (which != automatic_key() && !is_digits(which))
                continue;
            auto at = std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.first == which; });
            if (at == found.end())
                at = found.insert(found.end(), {which, Fields{}});
            *field(at->second, n) = value;
            break;
        }
    }
    std::vector<Bookmark> marks;
    for (const auto& [which, fields] : found) {
        Bookmark mark{fields.label, fields.remote, fields.local,
                      std::max<std::int64_t>(0, std::llround(text_to_number(fields.position))),
                      fields.note, which == automatic_key()};
        if (mark.address().empty())
            continue;
        if (mark.automatic)
            marks.insert(marks.begin(), std::move(mark));
        else
            marks.push_back(std::move(mark));
    }
    // Only the first automatic one counts.
    if (marks.size() > 1)
        std::erase_if(marks, [first = &marks.front()](const Bookmark& m) {
            return m.automatic && &m != first;
        });
    return marks;
}

Text Bookmarks::save_folder(const Text& book) const {
    return document_.value(section(book), gbk("保存"));
}

void Bookmarks::store(const Text& book, const Text& save_folder,
                      const std::vector<Bookmark>& marks) {
    std::vector<std::pair<Text, Text>> entries;
    if (!save_folder.empty())
        entries.emplace_back(gbk("保存"), save_folder);
    int n = 0;
    for (const Bookmark& mark : marks) {
        const Text which = mark.automatic ? automatic_key() : Text(std::to_string(++n));
        Fields fields{mark.label, std::to_string(mark.position), bookmark_note(mark.note),
                      mark.remote, mark.local};
        for (std::size_t f = 0; f < std::size(field_names); ++f)
            if (!field(fields, f)->empty())
                entries.emplace_back(which + gbk(field_names[f]), *field(fields, f));
    }
    document_.replace_section(section(book), std::move(entries));
    changed_ = true;
}

bool Bookmarks::add(const Text& book, const Text& save_folder, Bookmark bookmark) {
    if (book.empty() || !IniDocument::storable(section(book)) || bookmark.address().empty())
        return false;
    bookmark.note = bookmark_note(bookmark.note);
    bookmark.position = std::max<std::int64_t>(0, bookmark.position);
    std::vector<Bookmark> marks = of(book);
    if (bookmark.automatic)
        std::erase_if(marks, [](const Bookmark& m) { return m.automatic; });
    marks.push_back(std::move(bookmark));
    store(book, save_folder.empty() ? this->save_folder(book) : save_folder, marks);
    return true;
}

bool Bookmarks::rename(const Text& book, std::size_t index, const Text& note) {
    std::vector<Bookmark> marks = of(book);
    if (index >= marks.size())
        return false;
    marks[index].note = bookmark_note(note);
    store(book, save_folder(book), marks);
    return true;
}

bool Bookmarks::remove(const Text& book, std::size_t index) {
    std::vector<Bookmark> marks = of(book);
    if (index >= marks.size())
        return false;
    marks.erase(marks.begin() + std::ptrdiff_t(index));
    store(book, save_folder(book), marks);
    return true;
}

bool Bookmarks::save() {
    if (!changed_)
        return true;
    if (!document_.write(file_))
        return false;
    changed_ = false;
    return true;
}

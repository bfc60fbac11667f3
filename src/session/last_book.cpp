#include "session/last_book.hpp"

#include "files/files.hpp"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// A lost or cut file costs only the early look at the book: no flush.
void write_plainly(const fs::path& file, std::string_view content) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
}

std::string read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

void LastBook::keep_page(const Text& address, const Text& page_text) const {
    std::error_code error;
    fs::remove(folder_ / "cover", error);
    write_plainly(folder_ / "page", page_text);
    write_plainly(folder_ / "address", address);
}

void LastBook::keep_cover(const Bytes& cover) const {
    write_plainly(folder_ / "cover", std::string_view(reinterpret_cast<const char*>(cover.data()),
                                                      cover.size()));
}

std::optional<KeptBook> LastBook::kept(const Text& address) const {
    if (address.empty() || read_all(folder_ / "address") != address)
        return std::nullopt;
    KeptBook book{address, read_all(folder_ / "page"), {}};
    const std::string cover = read_all(folder_ / "cover");
    book.cover.assign(cover.begin(), cover.end());
    if (book.page_text.empty())
        return std::nullopt;
    return book;
}

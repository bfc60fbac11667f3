#include "feeds/request_target.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The longest target looked at; the server bounds the request line before this.
constexpr std::size_t target_limit = 8192;

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + std::size_t(length) > text.size())
            return false;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 5> shortest{0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[std::size_t(length)] || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += std::size_t(length);
    }
    return true;
}

// One segment, percent-decoded, or nothing when it may not name anything.
std::optional<std::string> decoded_segment(std::string_view raw) {
    std::string name;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size())
                return std::nullopt;
            const int high = hex_value(raw[i + 1]);
            const int low = hex_value(raw[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            c = char(high * 16 + low);
            i += 2;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\')
            return std::nullopt;
        name.push_back(c);
    }
    if (name.empty() || name.front() == '.' || !valid_utf8(name))
        return std::nullopt;
    return name;
}

// Constant time for equal lengths: a wrong token takes as long however much of it is right.
bool same_token(std::string_view given, std::string_view token) {
    if (token.empty() || given.size() != token.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
    if (text.size() < end.size())
        return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != end[i])
            return false;
    }
    return true;
}

std::vector<std::string_view> raw_segments(std::string_view path) {
    std::vector<std::string_view> segments;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

std::optional<fs::path> regular_file_under(const fs::path& save_folder, const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error) || !lies_under(file, save_folder))
        return std::nullopt;
    return file;
}

} // namespace

std::optional<FeedRequest> parse_request_target(std::string_view target, std::string_view token) {
    if (target.size() > target_limit || target.empty() || target.front() != '/')
        return std::nullopt;
    const std::string_view path = target.substr(0, std::min(target.find('?'), target.size()));
    if (path.find('#') != std::string_view::npos)
        return std::nullopt;
    const std::vector<std::string_view> raw = raw_segments(path);
    if (raw.size() < 2 || raw.size() > 3 || !same_token(raw[0], token))
        return std::nullopt;
    if (raw.size() == 2) {
        if (raw[1] != "books.opml")
            return std::nullopt;
        return FeedRequest{FeedResource::opml, {}, {}};
    }
    std::optional<std::string> book = decoded_segment(raw[1]);
    if (!book)
        return std::nullopt;
    if (raw[2] == "feed.xml")
        return FeedRequest{FeedResource::feed, std::move(*book), {}};
    if (raw[2] == "cover")
        return FeedRequest{FeedResource::cover, std::move(*book), {}};
    std::optional<std::string> file = decoded_segment(raw[2]);
    if (!file || !ends_with_ignoring_case(*file, ".mp3"))
        return std::nullopt;
    return FeedRequest{FeedResource::episode, std::move(*book), std::move(*file)};
}

bool lies_under(const fs::path& file, const fs::path& folder) {
    std::error_code error;
    const fs::path real_file = fs::canonical(file, error);
    if (error)
        return false;
    const fs::path real_folder = fs::canonical(folder, error);
    if (error)
        return false;
    auto f = real_file.begin();
    for (auto part = real_folder.begin(); part != real_folder.end(); ++part, ++f) {
        if (f == real_file.end() || *f != *part)
            return false;
    }
    return f != real_file.end();
}

std::optional<fs::path> book_folder_of(const fs::path& save_folder, std::string_view book) {
    if (book.empty() || book.front() == '.' || book.find('/') != std::string_view::npos ||
        book.find('\0') != std::string_view::npos)
        return std::nullopt;
    const fs::path folder = save_folder / fs::path(std::string(book));
    std::error_code error;
    if (!fs::is_directory(folder, error) || !lies_under(folder, save_folder))
        return std::nullopt;
    return folder;
}

std::optional<fs::path> episode_file(const fs::path& save_folder, const FeedRequest& request) {
    if (request.kind != FeedResource::episode || request.file.empty() ||
        request.file.front() == '.' || request.file.find('/') != std::string::npos ||
        request.file.find('\0') != std::string::npos)
        return std::nullopt;
    const std::optional<fs::path> folder = book_folder_of(save_folder, request.book);
    if (!folder)
        return std::nullopt;
    return regular_file_under(save_folder, *folder / fs::path(request.file));
}

std::optional<fs::path> cover_file_of(const fs::path& save_folder, std::string_view book,
                                      const fs::path& kept_cover) {
    const std::optional<fs::path> folder = book_folder_of(save_folder, book);
    if (!folder)
        return std::nullopt;
    for (const char* name : {"cover.jpg", "cover.png", "cover.gif"}) {
        if (auto file = regular_file_under(save_folder, *folder / name))
            return file;
    }
    std::error_code error;
    if (!kept_cover.empty() && fs::is_regular_file(kept_cover, error))
        return kept_cover;
    return std::nullopt;
}

std::string encode_segment(std::string_view name) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(name.size() * 3);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(digits[byte >> 4]);
            encoded.push_back(digits[byte & 0xF]);
        }
    }
    return encoded;
}

std::string redacted_target(std::string_view target) {
    if (target.empty() || target.front() != '/')
        return "…";
    const std::size_t end = target.find_first_of("/?", 1);
    if (end == std::string_view::npos)
        return "/…";
    return "/…" + std::string(target.substr(end));
}

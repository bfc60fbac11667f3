#include "tagging/cover_kind.hpp"

#include <algorithm>
#include <array>

namespace {

bool starts_with(const Bytes& bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                      [](char p, std::uint8_t b) { return std::uint8_t(p) == b; });
}

} // namespace

CoverKind cover_kind(const Bytes& picture) {
    struct Known {
        std::string_view magic;
        CoverKind kind;
    };
    static constexpr std::array<Known, 4> known{{
        {"\xFF\xD8\xFF", {"image/jpeg", ".jpg"}},
        {"\x89PNG\r\n\x1A\n", {"image/png", ".png"}},
        {"GIF87a", {"image/gif", ".gif"}},
        {"GIF89a", {"image/gif", ".gif"}},
    }};
    for (const Known& k : known)
        if (starts_with(picture, k.magic))
            return k.kind;
    return {};
}

#pragma once
// What kind of picture a cover's bytes hold, by their first bytes.
#include "text/text.hpp"

#include <string_view>

struct CoverKind {
    std::string_view mime;      // "image/jpeg"; empty when not a known kind
    std::string_view extension; // ".jpg"
};

CoverKind cover_kind(const Bytes& picture);

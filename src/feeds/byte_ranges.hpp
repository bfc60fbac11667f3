#pragma once
// The one byte range a Range header asks of a file of `size` bytes.
#include <cstdint>
#include <string_view>

struct ByteRange {
    std::int64_t first = 0, last = 0; // both included
};

enum class RangeAnswer {
    whole,         // no range, one that cannot be read, or several: the whole file (200)
    part,          // the range in `range` (206)
    unsatisfiable, // a range wholly past the end (416)
};

// "bytes=0-99", "bytes=100-" and "bytes=-100"; a last byte past the end is the
// file's last byte.
RangeAnswer byte_range(std::string_view header, std::int64_t size, ByteRange& range);

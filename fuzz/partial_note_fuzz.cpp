// The note beside a partial file: what a note says, written again and read
// back, says the same.
#include "fuzz_check.hpp"
#include "transfer/partial_file.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view note(reinterpret_cast<const char*>(data), size);
    const PartialInfo info = read_partial_note(note);
    check(info.etag.find('\n') == Text::npos && info.last_modified.find('\n') == Text::npos,
          "a value read holds no line end", {{"note", note}});
    const Text again = partial_note(info);
    const PartialInfo back = read_partial_note(again);
    check(back.length == info.length && back.etag == info.etag &&
              back.last_modified == info.last_modified && back.file == info.file,
          "a note written from what a note said reads back the same",
          {{"note", note}, {"written", again}});
    return 0;
}

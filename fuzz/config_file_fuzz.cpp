// The configuration file's text read and written in memory: a value read never
// holds a line end, a key written reads back as written, no other key changes,
// and writing the same again changes nothing.
#include "fuzz_check.hpp"
#include "settings/config_file.hpp"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text key = input.ConsumeRandomLengthString(40);
    const Text value = input.ConsumeRandomLengthString(100);
    const Text other_key = input.ConsumeRandomLengthString(40);
    const std::string content = input.ConsumeRemainingBytesAsString();
    auto show = std::initializer_list<Shown>{
        {"content", content}, {"key", key}, {"value", value}, {"other key", other_key}};

    const Text other_before = settings_value(content, other_key);
    check(!has_line_end(settings_value(content, key)) && !has_line_end(other_before),
          "a value read holds no line end", show);

    const std::optional<std::string> written = settings_with_value(content, key, value);
    if (!written) {
        return 0;
    }
    check(!has_line_end(value) && value.find('\0') == Text::npos,
          "a value with a line end or NUL is refused", show);
    auto show_written = std::initializer_list<Shown>{{"content", content},
                                                     {"key", key},
                                                     {"value", value},
                                                     {"other key", other_key},
                                                     {"written", *written}};
    check(settings_value(*written, key) == value, "the key reads back as written", show_written);
    // Names compare ignoring letter case; keys that might be one name are left out.
    if (lower_ascii(trim_blanks(other_key)) != lower_ascii(trim_blanks(key)))
        check(settings_value(*written, other_key) == other_before, "another key keeps its value",
              show_written);
    check(settings_with_value(*written, key, value) == written,
          "writing the same value again changes nothing", show_written);
    return 0;
}

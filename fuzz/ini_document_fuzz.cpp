// The INI document every listening file is kept in, read from any text: what
// it writes reads back as the same document, no value read holds a line end,
// and a key set reads back as set while the others keep theirs.
#include "fuzz_check.hpp"
#include "listening/ini_document.hpp"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text section = input.ConsumeRandomLengthString(20);
    const Text key = input.ConsumeRandomLengthString(20);
    const Text value = input.ConsumeRandomLengthString(60);
    const std::string content = input.ConsumeRemainingBytesAsString();
    auto show = std::initializer_list<Shown>{
        {"content", content}, {"section", section}, {"key", key}, {"value", value}};

    IniDocument document = IniDocument::parse(content);
    const Text written = document.to_text();
    check(IniDocument::parse(written).to_text() == written, "what is written reads back the same",
          show);
    for (const auto& [name, entry] : document.entries(section))
        check(!has_line_end(entry) && !has_line_end(name), "a value read holds no line end", show);

    const auto others = document.entries(section);
    document.set(section, key, value);
    const bool kept = IniDocument::storable(section) && IniDocument::storable(key) &&
                      !has_line_end(value) && value.find('\0') == Text::npos;
    if (kept)
        check(IniDocument::parse(document.to_text()).value(section, key) == value,
              "a key set reads back as set", show);
    for (const auto& [name, entry] : others)
        if (name != key && kept)
            check(document.value(section, name) == IniDocument::parse(content).value(section, name),
                  "another key keeps its value", show);
    return 0;
}

// Header texts and marked fields: text_between gives a piece of the text that
// holds no right marker; header names come out the same when normalised again.
#include "fuzz_check.hpp"
#include "http/request_headers.hpp"
#include "text/gbk.hpp"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text left = input.ConsumeRandomLengthString(32);
    const Text right = input.ConsumeRandomLengthString(32);
    const int start = input.ConsumeIntegralInRange(-2, 300);
    const bool ignore_case = input.ConsumeBool();
    const Text text = input.ConsumeRemainingBytesAsString();

    const Text between = text_between(text, left, right, start, ignore_case);
    check(text.find(between) != Text::npos, "text_between gives a piece of the text",
          {{"text", text}, {"left", left}, {"right", right}, {"between", between}});
    const Text right_marker = replace_all(right, gbk("#引号"), "\"");
    check(!contains_text(between, right_marker, ignore_case),
          "text_between stops at the first right marker",
          {{"text", text}, {"left", left}, {"right", right}, {"between", between}});

    const Text headers = normalise_header_names(text);
    check(headers.size() <= text.size(), "normalising never adds bytes", {{"text", text}});
    for (const Text& line : split_text(headers, "\r\n"))
        check(line.find(':') != Text::npos, "every header line kept has a ':'",
              {{"text", text}, {"line", line}});
    check(normalise_header_names(headers) == headers, "normalised names stay as they are",
          {{"text", text}, {"once", headers}});

    const Text value = text_after_colon(text);
    check(!value.starts_with(" ") && !value.ends_with(" ") && text.find(value) != Text::npos,
          "the value after the colon is a trimmed piece of the text",
          {{"text", text}, {"value", value}});
    return 0;
}

// The regular-expression object over GBK texts: every match and group it
// reports is the subject's own bytes at the position it gives, a copy keeps
// its matches when the original searches again, and replacing never fails.
#include "fuzz_check.hpp"
#include "pattern/pattern_matcher.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

void check_piece(const Text& subject, const Text& piece, int position, const Text& pattern) {
    check(position == -2
              ? piece.empty()
              : position >= 0 && subject.compare(std::size_t(position), piece.size(), piece) == 0,
          "a match is the subject's bytes at its position",
          {{"pattern", pattern}, {"subject", subject}, {"piece", piece}});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool case_sensitive = input.ConsumeBool();
    const bool multiline = input.ConsumeBool();
    const bool global = input.ConsumeBool();
    const bool quote_placeholder = input.ConsumeBool();
    const Text pattern = input.ConsumeRandomLengthString(64);
    const Text replacement = input.ConsumeRandomLengthString(32);
    const Text subject = input.ConsumeRemainingBytesAsString();

    PatternMatcher matcher;
    if (!matcher.search(pattern, subject, case_sensitive, multiline, global, quote_placeholder)) {
        check(matcher.match_count() == 0 && matcher.replace(replacement).empty(),
              "a refused pattern leaves no matches", {{"pattern", pattern}});
        return 0;
    }
    const int count = matcher.match_count();
    check(global || count <= 1, "without global at most one match", {{"pattern", pattern}});
    const int groups = matcher.submatch_count();
    const int shown = std::min(count, 64);
    for (int m = 1; m <= shown; ++m) {
        int position = 0;
        const Text match = matcher.match_text(m, &position);
        check_piece(subject, match, position, pattern);
        for (int g = 1; g <= groups; ++g) {
            const Text group = matcher.submatch_text(m, g, &position);
            check_piece(subject, group, position, pattern);
        }
    }
    int past = 0;
    check(matcher.match_text(count + 1, &past).empty() && past == -2, "no match past the last",
          {{"pattern", pattern}});

    const PatternMatcher copy = matcher;
    const Text first = count > 0 ? matcher.match_text(1) : Text();
    (void)matcher.replace(replacement);
    matcher.search(replacement, pattern);
    check(copy.match_count() == count && (count == 0 || copy.match_text(1) == first),
          "a copy keeps its matches when the original searches again", {{"pattern", pattern}});
    return 0;
}

#define PCRE2_CODE_UNIT_WIDTH 16
#include "pattern/pattern_matcher.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <climits>
#include <pcre2.h>
#include <string_view>
#include <vector>

namespace {

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(char16_t));

const PCRE2_UCHAR16* engine_chars(std::u16string_view s) {
    return reinterpret_cast<const PCRE2_UCHAR16*>(s.data());
}

// Match context and JIT stack, made on first use and kept for the thread. The JIT
// stack grows up to 8 MB; a match that needs more is run again by the interpreter,
// which keeps its backtracking on the heap.
class MatchResources {
  public:
    MatchResources() {
        context = pcre2_match_context_create(nullptr);
        stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
        if (context && stack)
            pcre2_jit_stack_assign(context, nullptr, stack);
        if (context)
            pcre2_set_heap_limit(context, 64 * 1024); // KiB
    }
    ~MatchResources() {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }
    MatchResources(const MatchResources&) = delete;
    MatchResources& operator=(const MatchResources&) = delete;

    pcre2_match_context* context = nullptr;

  private:
    pcre2_jit_stack* stack = nullptr;
};

pcre2_match_context* match_context() {
    thread_local MatchResources resources;
    return resources.context;
}

// With multiline, the dialect's ^ matches after every CR and every LF: after a
// line break that ends the subject, and between the CR and the LF of a CRLF.
// The engine's own ^ does neither, so each ^ that is an anchor (not escaped, not
// inside a character class) becomes "not after a character other than CR or LF".
std::u16string with_line_start_anchors(std::u16string_view pattern) {
    static constexpr std::u16string_view line_start = u"(?<![^\r\n])";
    std::u16string out;
    out.reserve(pattern.size() + 16);
    bool in_class = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c == u'\\' && i + 1 < pattern.size()) {
            out += c;
            out += pattern[++i];
        } else if (in_class) {
            out += c;
            in_class = c != u']';
        } else if (c == u'[') {
            // "]" right after "[" or "[^" closes the class: [] and [^] are classes too.
            out += c;
            if (i + 1 < pattern.size() && pattern[i + 1] == u'^')
                out += pattern[++i];
            if (i + 1 < pattern.size() && pattern[i + 1] == u']')
                out += pattern[++i];
            else
                in_class = true;
        } else if (c == u'^') {
            out += line_start;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

// The pattern of one search, compiled with its options. `code` is null when the
// pattern was rejected.
struct PatternMatcher::Engine {
    std::u16string pattern;
    pcre2_code* code = nullptr;

    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() { pcre2_code_free(code); }
};

// The matches of one search: for each match, the start and end (in characters of
// the subject) of the whole match and of every group, PCRE2_UNSET for a group
// that did not take part.
struct PatternMatcher::Matches {
    std::size_t group_count = 0;
    std::vector<PCRE2_SIZE> bounds;

    std::size_t count() const { return bounds.size() / ((group_count + 1) * 2); }
    const PCRE2_SIZE* match(std::size_t index) const {
        return bounds.data() + index * (group_count + 1) * 2;
    }

    // Byte offsets in the GBK subject of every block_size-th character, filled on
    // the first position request.
    static constexpr std::size_t block_size = 64;
    mutable std::vector<std::size_t> block_offsets;
};

PatternMatcher::PatternMatcher() = default;
PatternMatcher::~PatternMatcher() = default;
PatternMatcher::PatternMatcher(const PatternMatcher& other) = default;
PatternMatcher& PatternMatcher::operator=(const PatternMatcher& other) = default;
PatternMatcher::PatternMatcher(PatternMatcher&& other) noexcept = default;
PatternMatcher& PatternMatcher::operator=(PatternMatcher&& other) noexcept = default;

bool PatternMatcher::search(const Text& pattern, const Text& subject_text, bool case_sensitive,
                            bool multiline, bool global, bool quote_placeholder) {
    engine.reset();
    matches.reset();

    auto new_engine = std::make_shared<Engine>();
    // '#' is never the second byte of a GBK character, so a byte-wise replacement
    // only ever meets whole characters.
    new_engine->pattern =
        gbk_to_utf16(quote_placeholder ? replace_all(pattern, gbk("#引号"), "\"") : pattern);

    // Closest to the script dialect: \xHH and \uHHHH escapes, unknown escapes stand
    // for the letter itself, $ without multiline only at the very end, [] and [^]
    // allowed, a reference to an unset group matches nothing. No single-line mode:
    // the dot stops at CR and LF. \s, \d, \w stay ASCII.
    uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                       PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;
    if (!case_sensitive)
        options |= PCRE2_CASELESS;
    if (multiline)
        options |= PCRE2_MULTILINE;
    pcre2_compile_context* compile_context = pcre2_compile_context_create(nullptr);
    if (compile_context) {
        pcre2_set_newline(compile_context, PCRE2_NEWLINE_ANYCRLF);
        pcre2_set_compile_extra_options(compile_context, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
    }
    const std::u16string compiled =
        multiline ? with_line_start_anchors(new_engine->pattern) : new_engine->pattern;
    int error_code = 0;
    PCRE2_SIZE error_offset = 0;
    new_engine->code = pcre2_compile(engine_chars(compiled), compiled.size(), options, &error_code,
                                     &error_offset, compile_context);
    pcre2_compile_context_free(compile_context);
    if (new_engine->code)
        pcre2_jit_compile(new_engine->code, PCRE2_JIT_COMPLETE); // interpreter if unavailable

    engine = new_engine;
    subject = gbk_to_utf16(subject_text);
    if (!new_engine->code)
        return false;

    auto found = std::make_shared<Matches>();
    uint32_t group_count = 0;
    pcre2_pattern_info(new_engine->code, PCRE2_INFO_CAPTURECOUNT, &group_count);
    found->group_count = group_count;
    const std::size_t pairs = std::size_t(group_count) + 1;

    pcre2_match_data* data = pcre2_match_data_create(uint32_t(pairs), nullptr);
    if (!data)
        return false;
    pcre2_match_context* context = match_context();
    const PCRE2_UCHAR16* chars = engine_chars(subject);
    const std::size_t length = subject.size();
    // The whole subject is checked once, on the first call.
    uint32_t match_options = 0;
    bool failed = false;
    for (std::size_t start = 0; start <= length;) {
        int rc = pcre2_match(new_engine->code, chars, length, start, match_options, data, context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
            rc = pcre2_match(new_engine->code, chars, length, start, match_options | PCRE2_NO_JIT,
                             data, context);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            failed = true;
            break;
        }
        match_options = PCRE2_NO_UTF_CHECK;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        const std::size_t set = rc == 0 ? pairs : std::size_t(rc);
        for (std::size_t k = 0; k < pairs; ++k) {
            bool taken = k < set && ovector[2 * k] != PCRE2_UNSET;
            found->bounds.push_back(taken ? ovector[2 * k] : PCRE2_UNSET);
            found->bounds.push_back(taken ? ovector[2 * k + 1] : PCRE2_UNSET);
        }
        if (!global)
            break;
        // As in the script dialect: after an empty match the next search starts one
        // character further on; otherwise at the end of the match.
        std::size_t end = ovector[1];
        if (end <= ovector[0]) {
            end = ovector[0] + 1;
            if (end < length && subject[end - 1] >= 0xD800 && subject[end - 1] <= 0xDBFF)
                ++end;
        }
        start = end;
    }
    pcre2_match_data_free(data);
    if (failed)
        return false;
    matches = found;
    return true;
}

Text PatternMatcher::pattern_text() const {
    return engine ? utf16_to_gbk(engine->pattern) : Text();
}

namespace {

bool is_digit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The group a "$" at `at` of the replacement names, and the characters after the
// "$" that name it: two digits when that many groups exist ($01 to $99), else one
// ($1 to $9); 0 when the digits name no group.
std::size_t group_reference(std::u16string_view with, std::size_t at, std::size_t group_count,
                            std::size_t& digits) {
    digits = 0;
    if (at + 1 >= with.size() || !is_digit(with[at + 1]))
        return 0;
    const std::size_t one = std::size_t(with[at + 1] - u'0');
    if (at + 2 < with.size() && is_digit(with[at + 2])) {
        const std::size_t two = one * 10 + std::size_t(with[at + 2] - u'0');
        if (two >= 1 && two <= group_count) {
            digits = 2;
            return two;
        }
    }
    if (one >= 1 && one <= group_count) {
        digits = 1;
        return one;
    }
    return 0;
}

} // namespace

// Replacement texts, as in the script dialect: $& the match, $` the subject
// before it, $' the subject after it, $1 to $99 a group, $$ a dollar sign; any
// other "$" stands for itself.
Text PatternMatcher::replace(const Text& replacement) const {
    if (!engine || !matches)
        return Text();
    const std::u16string with = gbk_to_utf16(replacement);
    std::u16string result;
    result.reserve(subject.size());
    std::size_t copied = 0;
    for (std::size_t m = 0; m < matches->count(); ++m) {
        const PCRE2_SIZE* bounds = matches->match(m);
        result.append(subject, copied, bounds[0] - copied);
        for (std::size_t i = 0; i < with.size(); ++i) {
            const char16_t c = with[i];
            const char16_t next = i + 1 < with.size() ? with[i + 1] : u'\0';
            std::size_t digits = 0;
            if (c != u'$' || next == u'\0') {
                result += c;
            } else if (next == u'$') {
                result += u'$';
                ++i;
            } else if (next == u'&') {
                result.append(subject, bounds[0], bounds[1] - bounds[0]);
                ++i;
            } else if (next == u'`') {
                result.append(subject, 0, bounds[0]);
                ++i;
            } else if (next == u'\'') {
                result.append(subject, bounds[1]);
                ++i;
            } else if (const std::size_t group =
                           group_reference(with, i, matches->group_count, digits);
                       group != 0) {
                const PCRE2_SIZE* span = bounds + 2 * group;
                if (span[0] != PCRE2_UNSET)
                    result.append(subject, span[0], span[1] - span[0]);
                i += digits;
            } else {
                result += c; // any other $ is literal
            }
        }
        copied = bounds[1];
    }
    result.append(subject, copied);
    return utf16_to_gbk(result);
}

int PatternMatcher::match_count() const {
    if (!matches)
        return 0;
    return int(std::min<std::size_t>(matches->count(), INT_MAX));
}

Text PatternMatcher::match_text(int index, int* position) const {
    return piece(index, 0, position);
}

Text PatternMatcher::submatch_text(int match_index, int group_index, int* position) const {
    if (group_index < 1) { // groups count from 1; the whole match is match_text's
        if (position)
            *position = -2;
        return Text();
    }
    return piece(match_index, group_index, position);
}

// Group `group_index` of match `match_index`; group 0 is the whole match.
Text PatternMatcher::piece(int match_index, int group_index, int* position) const {
    if (position)
        *position = -2;
    if (!matches || match_index < 1 || std::size_t(match_index) > matches->count() ||
        group_index < 0 || std::size_t(group_index) > matches->group_count)
        return Text();
    const PCRE2_SIZE* bounds = matches->match(std::size_t(match_index) - 1) + 2 * group_index;
    if (bounds[0] == PCRE2_UNSET)
        return Text();
    if (position)
        *position = byte_offset(bounds[0]);
    return utf16_to_gbk(std::u16string_view(subject).substr(bounds[0], bounds[1] - bounds[0]));
}

int PatternMatcher::submatch_count() const {
    if (!matches || matches->count() == 0)
        return 0;
    return int(matches->group_count);
}

// Each character of the subject came from one GBK character and converts back to
// the same bytes, so the byte offset of a character is the length of the GBK text
// before it.
int PatternMatcher::byte_offset(std::size_t char_index) const {
    constexpr std::size_t block = Matches::block_size;
    std::vector<std::size_t>& offsets = matches->block_offsets;
    const std::u16string_view text(subject);
    if (offsets.empty()) {
        offsets.reserve(text.size() / block + 1);
        std::size_t bytes = 0;
        for (std::size_t at = 0; at <= text.size(); at += block) {
            offsets.push_back(bytes);
            bytes += utf16_to_gbk(text.substr(at, block)).size();
        }
    }
    const std::size_t block_start = char_index / block * block;
    std::size_t bytes = offsets[char_index / block] +
                        utf16_to_gbk(text.substr(block_start, char_index - block_start)).size();
    return int(std::min<std::size_t>(bytes, INT_MAX));
}

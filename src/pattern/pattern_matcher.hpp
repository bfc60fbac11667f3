#pragma once
// The program's regular-expression object. Patterns, subjects and replacements are
// GBK texts; they are matched as characters (a two-byte GBK character is one
// character for the pattern), and every text handed back is GBK again.
//
// Dialect: character classes, \xHH escapes, \s for ASCII white space, groups,
// quantifiers, lookaheads; the dot never matches a line break; with multiline, ^
// matches after every CR and every LF. Replacement texts use $1 to $99 for
// groups (two digits when that many groups exist), $& for the whole match, $`
// and $' for the subject before and after it, and $$ for a dollar sign.
//
// An instance keeps the engine, the matches and the subject of its last search;
// the reading operations and replace always refer to that search. Copies share the
// engine and the matches of the copied instance; a later search on either side
// only replaces that side's own references.
#include "text/text.hpp"

#include <memory>
#include <string>

class PatternMatcher {
  public:
    PatternMatcher();
    ~PatternMatcher();
    PatternMatcher(const PatternMatcher& other);
    PatternMatcher& operator=(const PatternMatcher& other);
    PatternMatcher(PatternMatcher&& other) noexcept;
    PatternMatcher& operator=(PatternMatcher&& other) noexcept;

    // Runs the pattern over the subject. Letter case is ignored unless
    // case_sensitive is set; with multiline, ^ and $ also match at line breaks;
    // with global, every match is found (and replaced), otherwise only the first.
    // With quote_placeholder, every "#引号" in the pattern stands for a double quote.
    // True when the pattern was accepted and run, even when nothing matched.
    bool search(const Text& pattern, const Text& subject, bool case_sensitive = false,
                bool multiline = true, bool global = true, bool quote_placeholder = false);

    // The pattern of the last search (after the placeholder replacement).
    Text pattern_text() const;

    // The subject of the last search with its matches replaced. Empty before the
    // first search and after a failed one.
    Text replace(const Text& replacement = Text()) const;

    int match_count() const;

    // Match `index` (from 1). `position` receives the match's 0-based byte offset
    // in the subject, or -2 when there is no such match.
    Text match_text(int index, int* position = nullptr) const;

    // Group `group_index` (from 1) of match `match_index` (from 1). A group that did
    // not take part, and any group index below 1, give the empty text and position -2.
    Text submatch_text(int match_index, int group_index, int* position = nullptr) const;

    // Number of groups of the first match; 0 when nothing matched.
    int submatch_count() const;

  private:
    struct Engine;
    struct Matches;

    std::shared_ptr<const Engine> engine;
    std::shared_ptr<const Matches> matches;
    std::u16string subject;

    Text piece(int match_index, int group_index, int* position) const;
    int byte_offset(std::size_t char_index) const;
};

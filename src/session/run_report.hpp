#pragma once
// What a command did, in the words both front ends give it: the lines the
// command line prints, and those the window answers a handed command with.
// Exit codes follow the shell's customs.
#include "session/episode_list.hpp"
#include "text/text.hpp"

#include <vector>

namespace exit_codes {
constexpr int ok = 0;            // everything asked for was done
constexpr int some_failed = 1;   // some of it failed; the last line says which and why
constexpr int bad_arguments = 2; // nothing done: wrong arguments, or no play page
constexpr int stopped = 130;     // stopped by SIGINT or SIGTERM (128 + 2)
} // namespace exit_codes

struct CommandOutcome {
    int exit_code = exit_codes::ok;
    std::vector<Text> lines;  // for standard output
    std::vector<Text> errors; // for standard error
};

// "第36集 已下载", "第37集 下载失败：服务器拒绝了请求（HTTP 403）".
Text episode_outcome_line(const Episode& episode);
// The episodes of the list that failed or never got their turn, with why:
// "2 集未能下载：第37集（…）；第38集（…）"; empty when none.
Text failures_line(const EpisodeList& episodes);
// "《书名》已下载 3 集", with "，失败 1 集" when some failed.
Text run_line(const Text& title, int arrived, int failed);
// The outcome of a download run over `episodes`: one line per episode that
// landed or failed (when `each` is set), the run's line, and the failures
// line on standard error with exit code 1 when some failed.
CommandOutcome run_outcome(const Text& title, const EpisodeList& episodes, bool each);

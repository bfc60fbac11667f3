#pragma once
// What a command says, and where: results on standard output, errors and
// progress on standard error, in the terminal's UTF-8 (the texts are GBK up to
// here). On a terminal the progress is one line redrawn in place; elsewhere
// nothing is redrawn, and only the lines that say something stay.
#include "text/text.hpp"

#include <QString>

#include <cstdio>
#include <vector>

class TerminalOutput {
  public:
    enum class Level { quiet, normal, verbose };

    explicit TerminalOutput(Level level = Level::normal);

    Level level() const { return level_; }
    bool verbose() const { return level_ == Level::verbose; }
    // Whether progress is drawn in place (standard error is a terminal).
    bool progress_in_place() const { return progress_terminal_; }

    // A result line on standard output (said even when quiet: it was asked for).
    void result(const Text& line);
    void result_utf8(const QByteArray& utf8);
    // A line about the work (an episode that landed), not said when quiet.
    void note(const Text& line);
    // Said only when verbose.
    void detail(const Text& line);
    // An error, always said, on standard error.
    void error(const Text& line);
    // The progress line, redrawn in place on a terminal; nothing elsewhere.
    void progress(const Text& line);
    // Clears the progress line, if one is drawn.
    void end_progress();

  private:
    void write_line(std::FILE* stream, const QByteArray& utf8);

    Level level_;
    bool progress_terminal_;
    bool progress_shown_ = false;
};

// The program's name in front of an error: "audiobook-client: ...".
Text program_error(const Text& message);

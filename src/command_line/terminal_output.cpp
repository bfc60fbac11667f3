#include "command_line/terminal_output.hpp"

#include "text/gbk.hpp"

#include <unistd.h>

namespace {

QByteArray utf8_of(const Text& text) {
    return QByteArray::fromStdString(gbk_to_utf8(text));
}

} // namespace

TerminalOutput::TerminalOutput(Level level)
    : level_(level), progress_terminal_(::isatty(STDERR_FILENO) == 1) {}

void TerminalOutput::write_line(std::FILE* stream, const QByteArray& utf8) {
    end_progress();
    std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void TerminalOutput::result(const Text& line) {
    write_line(stdout, utf8_of(line));
}

void TerminalOutput::result_utf8(const QByteArray& utf8) {
    write_line(stdout, utf8);
}

void TerminalOutput::note(const Text& line) {
    if (level_ != Level::quiet)
        write_line(stdout, utf8_of(line));
}

void TerminalOutput::detail(const Text& line) {
    if (level_ == Level::verbose)
        write_line(stderr, utf8_of(line));
}

void TerminalOutput::error(const Text& line) {
    write_line(stderr, utf8_of(line));
}

// "\r" back to the line's start, the text, then "erase to the end of the line".
void TerminalOutput::progress(const Text& line) {
    if (!progress_terminal_ || level_ == Level::quiet)
        return;
    const QByteArray text = "\r" + utf8_of(line) + "\x1b[K";
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    std::fflush(stderr);
    progress_shown_ = true;
}

void TerminalOutput::end_progress() {
    if (!progress_shown_)
        return;
    progress_shown_ = false;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

Text program_error(const Text& message) {
    return "audiobook-client: " + message;
}

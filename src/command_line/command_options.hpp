#pragma once
// The command line's words: which command, its operand and its options, read
// with QCommandLineParser the GNU way (--help, --version, long and short
// options, "--" ending them).
#include <QString>
#include <QStringList>

#include <optional>

struct CommandOptions {
    QString command;  // "download", "follow", "unfollow", "followed", "check", "library"
    QString operand;  // the address, or the address or title for unfollow
    std::optional<double> from;  // the first episode number to fetch
    std::optional<int> count;    // how many episodes
    QString to;                  // the save folder
    std::optional<int> jobs;     // episodes downloading at once
    bool json = false;
    bool quiet = false;
    bool verbose = false;
};

// What reading the arguments came to: options to run, or text to print and
// an exit code (help and version: 0 on standard output; a mistake: 2 on
// standard error).
struct ParsedCommandLine {
    std::optional<CommandOptions> options;
    QString text;
    int exit_code = 0;
};

// The command names, in the order the help lists them.
const QStringList& command_names();
// `arguments` as the program got them, its own name first.
ParsedCommandLine parse_command_line(const QStringList& arguments);
// The commands that write (the book's files, 追更.ini or the library): while a
// window runs they are handed to it.
bool writes_files(const QString& command);

#include "command_line/command_line.hpp"

#include "command_line/book_commands.hpp"
#include "command_line/check_command.hpp"
#include "command_line/command_options.hpp"
#include "command_line/download_command.hpp"
#include "command_line/stop_signals.hpp"
#include "command_line/terminal_output.hpp"
#include "command_line/writer_locks.hpp"
#include "single_instance/handed_command.hpp"
#include "single_instance/single_instance.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <optional>

namespace fs = std::filesystem;

namespace {

void print(const QString& text, std::FILE* stream) {
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream);
    std::fflush(stream);
}

// Listings are what was asked for: they are printed even when quiet.
void print_outcome(TerminalOutput& output, const CommandOutcome& outcome, bool listing) {
    for (const Text& line : outcome.lines)
        listing ? output.result(line) : output.note(line);
    for (const Text& line : outcome.errors)
        output.error(program_error(line));
}

TerminalOutput::Level level_of(const CommandOptions& options) {
    if (options.quiet)
        return TerminalOutput::Level::quiet;
    return options.verbose ? TerminalOutput::Level::verbose : TerminalOutput::Level::normal;
}

bool is_listing(const CommandOptions& options) {
    return options.json || options.command == QLatin1String("followed") ||
           options.command == QLatin1String("library");
}

// The window, when one runs, does the command and answers; nothing when none
// listens, or when it leaves the command to us.
std::optional<int> hand_to_window(const QStringList& arguments, const CommandOptions& options,
                                  TerminalOutput& output, StopSignals& stop) {
    CommandHandOver hand_over;
    if (!hand_over.start(SingleInstance(QStringLiteral("audiobook-client")).server_path(), arguments))
        return std::nullopt;
    output.detail(gbk("窗口正在运行：命令交给窗口执行"));
    std::optional<int> code;
    QEventLoop loop;
    QObject::connect(&hand_over, &CommandHandOver::answered, &loop,
                     [&](int exit_code, const QStringList& lines, const QStringList& errors) {
                         if (exit_code >= 0) {
                             CommandOutcome outcome{exit_code, {}, {}};
                             for (const QString& line : lines)
                                 outcome.lines.push_back(from_qstring(line));
                             for (const QString& line : errors)
                                 outcome.errors.push_back(from_qstring(line));
                             print_outcome(output, outcome, is_listing(options));
                             code = exit_code;
                         }
                         loop.quit();
                     });
    QObject::connect(&hand_over, &CommandHandOver::lost, &loop, [&] {
        output.error(program_error(gbk("窗口没有回答就关闭了")));
        code = exit_codes::some_failed;
        loop.quit();
    });
    QObject::connect(&stop, &StopSignals::stopRequested, &loop, [&] {
        hand_over.cancel();
        code = exit_codes::stopped;
        loop.quit();
    });
    loop.exec();
    return code;
}

std::vector<fs::path> locks_for(const CommandOptions& options) {
    if (options.command == QLatin1String("download"))
        return {WriterLocks::save_folder_lock(download_range(options).save_folder)};
    std::vector<fs::path> locks{WriterLocks::configuration_lock()};
    if (options.command == QLatin1String("check")) {
        const FollowedBooks books(followed_books_file());
        for (const FollowedBook& book : books.books())
            locks.push_back(WriterLocks::save_folder_lock(book.save_folder));
    }
    return locks;
}

int run_command(const CommandOptions& options, TerminalOutput& output, StopSignals& stop) {
    if (options.command == QLatin1String("followed") || options.command == QLatin1String("library")) {
        const FollowedBooks books(followed_books_file());
        const CommandOutcome outcome = options.command == QLatin1String("followed")
                                           ? followed_outcome(books, options.json)
                                           : library_outcome(books, options.json);
        print_outcome(output, outcome, true);
        return outcome.exit_code;
    }
    QStringList handed_arguments = QCoreApplication::arguments().mid(1);
    if (!options.to.isEmpty() && !handed_arguments.contains(QStringLiteral("--"))) // the last one counts
        handed_arguments << QStringLiteral("--to=") + options.to;
    if (std::optional<int> handed = hand_to_window(handed_arguments, options, output, stop))
        return *handed;
    WriterLocks locks;
    const bool taken = locks.take(
        locks_for(options),
        [&output] { output.error(program_error(gbk("另一个命令正在写入同样的文件，等它结束…"))); },
        [&stop] { return stop.stopped(); });
    if (!taken) {
        if (stop.stopped())
            return exit_codes::stopped;
        output.error(program_error(gbk("无法建立写入锁")));
        return exit_codes::some_failed;
    }
    FollowedBooks books(followed_books_file());
    if (options.command == QLatin1String("unfollow")) {
        const CommandOutcome outcome = unfollow_outcome(books, from_qstring(options.operand));
        print_outcome(output, outcome, false);
        return outcome.exit_code;
    }
    std::unique_ptr<Command> command;
    if (options.command == QLatin1String("download"))
        command = std::make_unique<DownloadCommand>(options, output);
    else if (options.command == QLatin1String("check"))
        command = std::make_unique<CheckCommand>(options, output);
    else
        command = std::make_unique<FollowCommand>(books, options);
    std::optional<int> code;
    QEventLoop loop;
    QObject::connect(command.get(), &Command::finished, &loop, [&](const CommandOutcome& outcome) {
        print_outcome(output, outcome, is_listing(options));
        code = outcome.exit_code;
        loop.quit();
    });
    QObject::connect(&stop, &StopSignals::stopRequested, command.get(), [&] { command->stop(); });
    command->start();
    if (!code) // it may have finished at once
        loop.exec();
    return code.value_or(exit_codes::some_failed);
}

} // namespace

// Anything else is the window's, as before there was a command line: an
// address, a file, Qt's own options (-style fusion, -platform ...).
bool wants_command_line(int argc, char** argv) {
    if (argc < 2)
        return false;
    const QString first = QString::fromLocal8Bit(argv[1]);
    static const QStringList own = {QStringLiteral("--help"), QStringLiteral("-h"),
                                    QStringLiteral("--version")};
    // A bare word is a command mistyped, not an address: the command line says so.
    const bool word = !first.startsWith(QLatin1Char('-')) && !first.contains(QLatin1Char('.')) &&
                      !first.contains(QLatin1Char('/')) && !first.contains(QLatin1Char(':'));
    return command_names().contains(first) || own.contains(first) || word;
}

int run_command_line(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("audiobook-client"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROGRAM_VERSION));
    const ParsedCommandLine parsed = parse_command_line(QCoreApplication::arguments());
    if (!parsed.options) {
        print(parsed.text, parsed.exit_code == 0 ? stdout : stderr);
        return parsed.exit_code;
    }
    TerminalOutput output(level_of(*parsed.options));
    StopSignals stop;
    return run_command(*parsed.options, output, stop);
}

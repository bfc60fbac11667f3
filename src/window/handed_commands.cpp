#include "window/handed_commands.hpp"

#include "command_line/book_commands.hpp"
#include "command_line/check_command.hpp"
#include "command_line/command_options.hpp"
#include "command_line/download_command.hpp"
#include "command_line/writer_locks.hpp"
#include "session/book_session.hpp"
#include "session/follow_check.hpp"
#include "session/run_report.hpp"
#include "settings/config_file.hpp"
#include "single_instance/handed_command.hpp"
#include "site/download_paths.hpp"
#include "single_instance/single_instance.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "window/main_window.hpp"

#include <QLockFile>
#include <QTimer>

namespace {

QStringList unicode_lines(const std::vector<Text>& lines) {
    QStringList list;
    for (const Text& line : lines)
        list << to_qstring(line);
    return list;
}

CommandOutcome busy(const char* why) {
    return {exit_codes::some_failed, {}, {gbk(why)}};
}

} // namespace

HandedCommands::HandedCommands(MainWindow& window, SingleInstance& instance, QObject* parent)
    : QObject(parent), window_(window) {
    connect(&instance, &SingleInstance::commandHanded, this,
            [this](HandedCommand* command) { take(command); });
    writer_watch_ = new QTimer(this);
    writer_watch_->setInterval(1000);
    connect(writer_watch_, &QTimer::timeout, this, [this] { catch_up(); });
    window.session().follow_check().set_gate([this] { return !another_writer(); });
}

// A command of the command line holds the configuration folder's lock.
bool HandedCommands::another_writer() {
    QLockFile probe(QFile::decodeName(WriterLocks::configuration_lock().c_str()));
    probe.setStaleLockTime(0);
    if (probe.tryLock(0))
        return false; // released as the probe goes
    if (!writer_watch_->isActive())
        writer_watch_->start();
    return true;
}

// The other writer ended: what it wrote is read back.
void HandedCommands::catch_up() {
    if (!writer_watch_->isActive() || another_writer())
        return;
    writer_watch_->stop();
    BookSession& session = window_.session();
    session.followed_books() = FollowedBooks(followed_books_file());
    session.list_book_folders();
    emit session.followedChanged();
}

HandedCommands::~HandedCommands() {
    window_.session().follow_check().set_gate({});
}

void HandedCommands::take(HandedCommand* command) {
    waiting_.emplace_back(command);
    if (!current_)
        next();
}

// The command under way is over: its connections go, and the next one starts.
void HandedCommands::done() {
    current_.clear();
    if (job_)
        job_.release()->deleteLater();
    QMetaObject::invokeMethod(this, [this] { next(); }, Qt::QueuedConnection);
}

void HandedCommands::next() {
    if (current_)
        return;
    while (!waiting_.empty() && !current_) {
        current_ = waiting_.front();
        waiting_.pop_front();
    }
    if (!current_)
        return;
    catch_up();
    const ParsedCommandLine parsed =
        parse_command_line(QStringList{QStringLiteral("audiobook-client")} + current_->arguments());
    if (!parsed.options || !writes_files(parsed.options->command)) {
        current_->answer(-1, {}, {}); // the command line does it itself
        return done();
    }
    job_ = std::make_unique<QObject>();
    // A start stopped by the user: its download pauses, like the window's button.
    connect(current_, &HandedCommand::abandoned, job_.get(), [this] {
        if (window_.session().downloading())
            window_.session().press_download();
        done();
    });
    run(*current_, *parsed.options);
}

void HandedCommands::run(HandedCommand& command, const CommandOptions& options) {
    BookSession& session = window_.session();
    if (options.command == QLatin1String("download")) {
        // Another save folder than the window's: other files, so the command line's own.
        if (!options.to.isEmpty() && effective_save_folder(from_qstring(options.to)) !=
                                         effective_save_folder(session.startup_save_folder())) {
            command.answer(-1, {}, {});
            return done();
        }
        download(options);
    } else if (options.command == QLatin1String("check")) {
        check(options);
    } else if (options.command == QLatin1String("follow")) {
        follow(options);
    } else {
        const CommandOutcome outcome = unfollow_outcome(session.followed_books(), from_qstring(options.operand));
        emit session.followedChanged();
        answer(outcome);
    }
}

// As the user would: the page loads, the range is listed in the window's
// list, and the download button is pressed once the list is in.
void HandedCommands::download(const CommandOptions& options) {
    BookSession& session = window_.session();
    if (session.downloading() || session.querying())
        return answer(busy("窗口正在查询或下载，等它结束后再试"));
    const Text address = from_qstring(options.operand);
    const DownloadRange range = download_range(options);
    QObject* job = job_.get();
    connect(&session, &BookSession::loadFailed, job, [this](const Text& message, const Text& reason) {
        const bool no_play_page = message == gbk("请核对网址是否正确！");
        answer({no_play_page ? exit_codes::bad_arguments : exit_codes::some_failed, {},
                {message + " " + reason}});
    });
    connect(&session, &BookSession::bookShown, job, [&session, address, range] {
        if (session.querying())
            return;
        session.query(address, number_to_text(range.start), number_to_text(range.count));
    });
    connect(&session, &BookSession::queryFinished, job, [this, &session] {
        if (session.downloads().enabled() && !session.downloading())
            session.press_download();
        else
            answer(run_outcome(session.book().title, session.episodes(), true));
    });
    connect(&session, &BookSession::runEnded, job, [this, &session] {
        answer(run_outcome(session.downloads().run().book(), session.episodes(), true));
    });
    session.load(address);
}

void HandedCommands::check(const CommandOptions& options) {
    BookSession& session = window_.session();
    auto* report = new CheckReport(session.follow_check(), session.followed_books(), job_.get());
    const bool json = options.json;
    connect(&session.follow_check(), &FollowCheck::finished, job_.get(),
            [this, report, json] { answer(report->outcome(json)); });
    if (session.follow_check().checking())
        return; // the check under way answers
    session.check_followed_books();
}

void HandedCommands::follow(const CommandOptions& options) {
    BookSession& session = window_.session();
    auto* command = new FollowCommand(session.followed_books(), options, job_.get());
    connect(command, &Command::finished, job_.get(), [this, &session](const CommandOutcome& outcome) {
        emit session.followedChanged();
        answer(outcome);
    });
    command->start();
}

void HandedCommands::answer(const CommandOutcome& outcome) {
    if (!current_)
        return;
    current_->answer(outcome.exit_code, unicode_lines(outcome.lines), unicode_lines(outcome.errors));
    done();
}

#pragma once
// The commands about followed books and the books on disk: what they print,
// made from the same objects the window keeps them in, so that a window a
// command is handed to answers with the same words.
#include "command_line/command.hpp"
#include "command_line/command_options.hpp"
#include "session/followed_books.hpp"

#include <filesystem>
#include <memory>

class BookPageLoad;
class TerminalOutput;
struct AccessReport;

// The files the commands read and write, beside the configuration file.
std::filesystem::path followed_books_file();

// `followed`: one line per book (title, total seen, last check, last trouble),
// tab-separated; or one JSON document.
CommandOutcome followed_outcome(const FollowedBooks& books, bool json);
// `library`: one line per book folder (title, heard / on disk, followed, last
// listened); or one JSON document.
CommandOutcome library_outcome(const FollowedBooks& books, bool json);
// `unfollow ADDRESS|TITLE`: the book with that title, or whose play page is of
// the same book as the address, is no longer followed (and the file saved).
CommandOutcome unfollow_outcome(FollowedBooks& books, const Text& address_or_title);
// Following the book of a page that arrived: the total it gives is seen.
CommandOutcome follow_outcome(FollowedBooks& books, const Text& address, const Text& page_text,
                              const AccessReport& report, const Text& save_folder);

// `follow ADDRESS`: loads the page, then follows its book.
class FollowCommand : public Command {
    Q_OBJECT
  public:
    FollowCommand(FollowedBooks& books, const CommandOptions& options, QObject* parent = nullptr);
    ~FollowCommand() override;
    void start() override;
    void stop() override;

  private:
    FollowedBooks& books_;
    CommandOptions options_;
    std::unique_ptr<BookPageLoad> load_;
    bool done_ = false;
};

// Seconds since the epoch as "2026-12-10 07:30" in local time; "" for 0.
Text local_time_text(std::int64_t seconds);

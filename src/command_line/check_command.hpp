#pragma once
// `check`: every followed book once, with the window's own follow check; what
// arrived is printed and told to the desktop, one notice per book.
#include "command_line/command.hpp"
#include "command_line/command_options.hpp"
#include "session/followed_books.hpp"
#include "session/library.hpp"
#include "settings/config_file.hpp"
#include "tagging/episode_landing.hpp"

#include <map>
#include <memory>

class FollowCheck;
class TerminalOutput;

// What a follow check did, gathered from its signals: new episodes per book,
// and the books whose check went wrong. The window answers a handed check
// with it too.
class CheckReport : public QObject {
    Q_OBJECT
  public:
    CheckReport(FollowCheck& check, const FollowedBooks& books, QObject* parent = nullptr);
    // One line per book that gained episodes and one per book in trouble (on
    // standard error, exit code 1); or one JSON document.
    CommandOutcome outcome(bool json) const;
    const std::map<Text, int>& arrived() const { return arrived_; }

  signals:
    void bookArrived(const Text& title, int count);

  private:
    const FollowedBooks& books_;
    std::map<Text, int> arrived_;
    std::vector<Text> checked_; // in the order they were checked
};

class CheckCommand : public Command {
    Q_OBJECT
  public:
    CheckCommand(const CommandOptions& options, TerminalOutput& output, QObject* parent = nullptr);
    ~CheckCommand() override;
    void start() override;
    void stop() override;

  private:
    CommandOptions options_;
    TerminalOutput& output_;
    FollowedBooks books_;
    Library library_; // its kept covers tag the episodes that land
    EpisodeLanding landing_{read_tag_writing};
    std::unique_ptr<FollowCheck> check_;
    std::unique_ptr<CheckReport> report_;
    bool done_ = false;
};

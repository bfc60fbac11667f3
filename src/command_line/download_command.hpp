#pragma once
// `download ADDRESS`: loads the play page, lists the range and downloads it
// with the window's own query and download sequence, starting the downloads
// as soon as the first episode is listed. Progress goes to the terminal.
#include "command_line/command.hpp"
#include "command_line/command_options.hpp"
#include "session/episode_list.hpp"
#include "session/episode_query.hpp"
#include "settings/config_file.hpp"
#include "site/book_info.hpp"
#include "tagging/episode_landing.hpp"

#include <QElapsedTimer>

#include <memory>

class BookPageLoad;
class DownloadSequence;
class EpisodeQuery;
class TerminalOutput;
struct AccessReport;

// The range and folder a download uses: the options given, else the settings,
// else what the window's boxes hold at first (from episode 36, 10 episodes).
struct DownloadRange {
    double start = 35; // the episode before the first
    int count = 10;
    Text save_folder;  // as given or set; may be empty (the default folder)
    int jobs = 1;
};
DownloadRange download_range(const CommandOptions& options);

// Why a page that came back empty or without a title gives no book, in the
// command line's words; the exit code is 2 for a page that is no play page.
CommandOutcome page_failure(const Text& address, const Text& page_text, const AccessReport& report);

class DownloadCommand : public Command {
    Q_OBJECT
  public:
    DownloadCommand(const CommandOptions& options, TerminalOutput& output, QObject* parent = nullptr);
    ~DownloadCommand() override;
    void start() override;
    void stop() override;

  private:
    void on_page(const Text& address, const Text& page_text, const AccessReport& report);
    void start_query();
    void on_row(EpisodeId id);
    void on_listed();
    void on_changed(int index);
    void show_progress();
    void finish();

    CommandOptions options_;
    DownloadRange range_;
    TerminalOutput& output_;
    BookInfo book_;
    QueryPlan plan_; // the book's range, once its page is in
    EpisodeList episodes_;
    std::unique_ptr<BookPageLoad> load_;
    std::unique_ptr<EpisodeQuery> query_;
    std::unique_ptr<DownloadSequence> downloads_;
    EpisodeLanding landing_{read_tag_writing}; // tags what lands with the page's details and cover
    QElapsedTimer since_progress_;
    bool pressed_ = false;
    bool done_ = false;
};

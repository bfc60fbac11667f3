#pragma once
// The download sequence behind the download button: every row in turn is
// fetched into its own book's folder, one episode at a time, while the window
// goes on answering. It keeps the button's states (caption and enabled), the
// pause request, and sequences started while another one finishes its episode
// (they run over every row from the first, then the earlier one goes on).
#include "episodes/episode_list_model.hpp"
#include "transfer/episode_download.hpp"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class TransferHandler;

class DownloadSequence : public QObject {
    Q_OBJECT
  public:
    // The button's states: caption "下载" or "暂停", enabled or not, and whether
    // a sequence runs.
    enum class State { initial, ready, running, pause_asked, done, idle_pause, stopped };

    explicit DownloadSequence(EpisodeListModel& rows, QObject* parent = nullptr);
    ~DownloadSequence() override;
    DownloadSequence(const DownloadSequence&) = delete;
    DownloadSequence& operator=(const DownloadSequence&) = delete;

    State state() const;
    Text caption() const; // "下载" or "暂停"
    bool enabled() const;
    bool running() const;
    bool pause_requested() const { return pause_requested_; }

    // The button was pressed. A press within the double-press interval of the
    // press that started a sequence is ignored: a double click starts only.
    void press();
    // A query filled the list; enables the button when its first row has an address.
    void query_filled(bool first_row_has_address);
    // While rows are still coming (a query runs), the sequence waits at the end
    // of the list for them instead of passing over missing rows.
    void set_rows_pending(bool pending);
    void rows_added();
    // The window is closing: the transfer under way is abandoned (its temporary
    // file removed), nothing more is requested, no row changes.
    void abort();

    // How each episode is fetched (user agent, retries); address and target are
    // the row's own.
    void set_transfer_options(const EpisodeRequest& options) { options_ = options; }
    void set_double_press_interval(std::chrono::milliseconds interval) { double_press_ = interval; }

  signals:
    void buttonChanged(); // caption or enabled
    void rowChanged(int row);
    void sequenceEnded();
    // The disk is full or the save folder cannot be written: every sequence
    // stopped, the button reads "下载" and is enabled for a later try, and the
    // rows not reached yet are as they were. `message` is for the user.
    void stoppedForDisk(const Text& message);

  private:
    struct Pass {
        int next = 0;  // the row index to reach next
        int count = 0; // rows counted when the pass began
    };
    void start_pass();
    void advance();
    bool start_row(int row);
    void after_row();
    void end_pass();
    void stop_for_disk(const Text& message);
    void on_progress(std::int64_t received, std::int64_t total);
    void on_retry(int retry, int of);
    void on_transfer_finished();
    void set_button(const Text& caption, bool enabled);
    int transfer_row() const;
    void mark_downloaded(int row, const Text& path, const std::filesystem::path& native);

    EpisodeListModel& rows_;
    EpisodeRequest options_;
    Text caption_;
    bool enabled_ = false;
    bool pause_requested_ = false;
    bool pass_pending_ = false; // a pass asked for while the current episode finishes
    bool rows_pending_ = false;
    bool waiting_for_rows_ = false;
    bool aborted_ = false;
    std::vector<Pass> passes_; // innermost last
    std::chrono::milliseconds double_press_{400};
    QElapsedTimer since_start_;

    std::unique_ptr<TransferHandler> transfer_;
    std::uint64_t transfer_row_id_ = 0;
    Text transfer_path_;
    std::filesystem::path transfer_native_;
    Text state_before_;
    Text progress_shown_;
    QElapsedTimer since_progress_;
};

// What the state cell shows while an episode arrives: the share in percent, or
// the amount received when the server did not say how much is coming.
Text progress_text(std::int64_t received, std::int64_t total);

#pragma once
// The download sequence behind the download button: the rows are fetched in
// list order, each into its own book's folder, up to a set number at once, while
// the window goes on answering. It keeps the button's states (caption and
// enabled), the pause request, and sequences started while another one finishes
// its episodes (they run over every row from the first, then the earlier one
// goes on). An address whose key the Media host refuses is asked for once more.
#include "catalogue/run_progress.hpp"
#include "episodes/episode_list_model.hpp"
#include "transfer/episode_download.hpp"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class KeyRenewal;
class TransferHandler;

class DownloadSequence : public QObject {
    Q_OBJECT
  public:
    // The button's states: caption "下载" or "暂停", enabled or not, and whether
    // a sequence runs.
    enum class State { initial, ready, running, pause_asked, done, idle_pause, stopped };
    static constexpr int most_at_once = 4;

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
    // After a pause has taken effect a press goes on with the rows not yet
    // downloaded.
    void press();
    // A query filled the list; enables the button when its first row has an address.
    void query_filled(bool first_row_has_address);
    // While rows are still coming (a query runs), the sequence waits at the end
    // of the list for them instead of passing over missing rows.
    void set_rows_pending(bool pending);
    void rows_added();
    // The window is closing: every transfer under way is abandoned at once (the
    // bytes that arrived stay in their hidden partial files for a later run),
    // nothing more is requested, no row changes.
    void abort();

    // How each episode is fetched (user agent, retries); address and target are
    // the row's own.
    void set_transfer_options(const EpisodeRequest& options) { options_ = options; }
    void set_double_press_interval(std::chrono::milliseconds interval) { double_press_ = interval; }
    // Episodes downloading at once, 1 to most_at_once; takes effect as places free up.
    void set_parallel_downloads(int count);
    int parallel_downloads() const { return parallel_; }

    // The run under way, or the last one.
    const RunProgress& run() const { return run_; }

  signals:
    void buttonChanged(); // caption or enabled
    void rowChanged(int row);
    void sequenceEnded();
    void runChanged(); // the counts or the speed of the run
    // The last pass of a run ended (finished or paused).
    void runEnded(int arrived, int failed);
    // The disk is full or the save folder cannot be written: every sequence
    // stopped, the button reads "下载" and is enabled for a later try, and the
    // rows not reached yet are as they were. `message` is for the user.
    void stoppedForDisk(const Text& message);

  private:
    struct Pass {
        int next = 0;  // the row index to reach next
        int count = 0; // rows counted when the pass began
    };
    // One episode under way.
    struct Slot {
        std::uint64_t row_id = 0;
        RowSource source;
        Text title;
        Text address;
        Text path;
        std::filesystem::path native;
        Text state_before;
        Text progress_shown;
        QElapsedTimer since_progress;
        bool renewed = false; // its key was asked for once more already
        std::unique_ptr<TransferHandler> transfer;
        std::unique_ptr<KeyRenewal> renewal;
    };
    void start_pass();
    void advance();
    bool settle();
    bool fetchable(int row) const;
    bool lacks_key(int row) const;
    void note_missing_key(int row);
    bool under_way(std::uint64_t row_id) const;
    void start_row(int row);
    void start_transfer(Slot& slot);
    void on_progress(Slot& slot, std::int64_t received, std::int64_t total);
    void on_retry(Slot& slot, int retry, int of);
    void on_transfer_finished(Slot& slot);
    bool renew_key(Slot& slot, const EpisodeResult& result);
    void on_key_renewed(Slot& slot, const Text& address, const EpisodeResult& refused);
    void finish_row(Slot& slot, const EpisodeResult& result);
    void end_pass();
    void show_run(bool now);
    void stop_for_disk(const Text& message);
    void set_button(const Text& caption, bool enabled);

    EpisodeListModel& rows_;
    EpisodeRequest options_;
    Text caption_;
    bool enabled_ = false;
    bool pause_requested_ = false;
    bool pass_pending_ = false; // a pass asked for while the episodes under way finish
    bool rows_pending_ = false;
    bool waiting_for_rows_ = false;
    bool aborted_ = false;
    int parallel_ = 1;
    std::vector<Pass> passes_; // innermost last
    std::chrono::milliseconds double_press_{400};
    QElapsedTimer since_start_;
    std::vector<std::unique_ptr<Slot>> slots_; // in the order they started
    RunProgress run_;
    QElapsedTimer since_run_shown_;
};

// What the state cell shows while an episode arrives: the share in percent, or
// the amount received when the server did not say how much is coming.
Text progress_text(std::int64_t received, std::int64_t total);

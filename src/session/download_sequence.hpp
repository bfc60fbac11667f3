#pragma once
// The download sequence behind the download button: the episodes are fetched
// in list order, each into its own book's folder, up to a set number at once,
// while the window goes on answering. It keeps the button's states (what it
// offers and whether it is enabled), the pause request, and sequences started
// while another one finishes its episodes (they run over every episode from the
// first, then the earlier one goes on). An address whose key the Media host
// refuses is asked for once more.
#include "session/episode_list.hpp"
#include "session/run_progress.hpp"
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
    // What a press of the button does: start (or go on), or ask for a pause.
    enum class Offer { download, pause };
    // The button's states: what it offers, enabled or not, and whether a
    // sequence runs.
    enum class State { initial, ready, running, pause_asked, done, idle_pause, stopped };
    static constexpr int most_at_once = 4;

    explicit DownloadSequence(EpisodeList& episodes, QObject* parent = nullptr);
    ~DownloadSequence() override;
    DownloadSequence(const DownloadSequence&) = delete;
    DownloadSequence& operator=(const DownloadSequence&) = delete;

    State state() const;
    Offer offer() const { return offer_; }
    bool enabled() const;
    bool running() const;
    bool pause_requested() const { return pause_requested_; }

    // The button was pressed. A press within the double-press interval of the
    // press that started a sequence is ignored: a double click starts only.
    // After a pause has taken effect a press goes on with the rows not yet
    // downloaded.
    void press();
    // A query filled the list; enables the button when its first episode has an
    // address.
    void query_filled(bool first_has_address);
    // While episodes are still coming (a query runs), the sequence waits at the
    // end of the list for them instead of passing over missing ones.
    void set_rows_pending(bool pending);
    void rows_added();
    // The window is closing: every transfer under way is abandoned at once (the
    // bytes that arrived stay in their hidden partial files for a later run),
    // nothing more is requested, no episode changes.
    void abort();

    // How each episode is fetched (user agent, retries); address and target are
    // the episode's own.
    void set_transfer_options(const EpisodeRequest& options) { options_ = options; }
    void set_double_press_interval(std::chrono::milliseconds interval) { double_press_ = interval; }
    // Episodes downloading at once, 1 to most_at_once; takes effect as places free up.
    void set_parallel_downloads(int count);
    int parallel_downloads() const { return parallel_; }

    // The run under way, or the last one.
    const RunProgress& run() const { return run_; }

  signals:
    void buttonChanged(); // what it offers, or enabled
    void sequenceEnded();
    void runChanged(); // the counts or the speed of the run
    // The last pass of a run ended (finished or paused).
    void runEnded(int arrived, int failed);
    // The disk is full or the save folder cannot be written: every sequence
    // stopped, the button offers a download and is enabled for a later try, and
    // the episodes not reached yet are as they were. `message` is for the user.
    void stoppedForDisk(const Text& message);

  private:
    struct Pass {
        int next = 0;  // the index to reach next
        int count = 0; // episodes counted when the pass began
    };
    // One episode under way.
    struct Slot {
        EpisodeId id = 0;
        EpisodeSource source;
        Text title;
        Text address;
        Text path;
        std::filesystem::path native;
        DownloadState state_before = DownloadState::not_on_disk;
        Text progress_shown;
        QElapsedTimer since_progress;
        bool renewed = false; // its key was asked for once more already
        std::unique_ptr<TransferHandler> transfer;
        std::unique_ptr<KeyRenewal> renewal;
    };
    void start_pass();
    void advance();
    bool settle();
    bool fetchable(const Episode* episode) const;
    void note_missing_key(const Episode& episode);
    bool under_way(EpisodeId id) const;
    void start_episode(const Episode& episode);
    void start_transfer(Slot& slot);
    void on_progress(Slot& slot, std::int64_t received, std::int64_t total);
    void on_retry(Slot& slot, int retry, int of);
    void on_transfer_finished(Slot& slot);
    bool renew_key(Slot& slot, const EpisodeResult& result);
    void on_key_renewed(Slot& slot, const Text& address, const EpisodeResult& refused);
    void finish_episode(Slot& slot, const EpisodeResult& result);
    void end_pass();
    void show_run(bool now);
    void stop_for_disk(const Text& message);
    void set_button(Offer offer, bool enabled);

    EpisodeList& episodes_;
    EpisodeRequest options_;
    Offer offer_ = Offer::download;
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


#pragma once
// The download sequence behind the download button: the episodes are fetched
// in list order, each into its own book's folder, up to a set number at once,
// while the window goes on answering. A pause stops every episode under way at
// once (what arrived waits in its hidden partial file); going on fetches those
// episodes first, from where they stopped, then the rest. The button offers
// "暂停" only while a run is under way. An address whose key the Media host
// refuses is asked for once more.
#include "session/episode_list.hpp"
#include "session/run_progress.hpp"
#include "transfer/episode_download.hpp"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class EpisodeLanding;
class KeyRenewal;
class TransferHandler;

class DownloadSequence : public QObject {
    Q_OBJECT
  public:
    // What a press of the button does: start (or go on), or pause.
    enum class Offer { download, pause };
    // The button's states: nothing to fetch yet, ready to start (a disk that
    // stopped the run included), running, paused (ready to go on), the last
    // run ended.
    enum class State { initial, ready, running, paused, done };
    static constexpr int most_at_once = 4;

    explicit DownloadSequence(EpisodeList& episodes, QObject* parent = nullptr);
    ~DownloadSequence() override;
    DownloadSequence(const DownloadSequence&) = delete;
    DownloadSequence& operator=(const DownloadSequence&) = delete;

    State state() const { return state_; }
    Offer offer() const { return state_ == State::running ? Offer::pause : Offer::download; }
    bool enabled() const { return enabled_; }
    bool running() const { return state_ == State::running; }

    // The button was pressed. A press within the double-press interval of the
    // press that started a run is ignored: a double click starts only.
    void press();
    // A list was filled; enables the button when its first episode has an
    // address. A run paused or ended for the episodes of another list is over.
    void query_filled(bool first_has_address);
    // Episodes of the list wait in their partial files (a run cut by closing):
    // the button is ready to go on with them.
    void offer_unfinished();
    // While episodes are still coming (a query runs), the sequence waits at the
    // end of the list for them instead of passing over missing ones.
    void set_rows_pending(bool pending);
    void rows_added();
    // The window is closing: every transfer under way is abandoned at once (the
    // bytes that arrived stay in their hidden partial files for a later run),
    // nothing more is requested, and no episode changes but those waiting
    // their turn, which wait no more.
    void abort();

    // How each episode is fetched (user agent, retries); address and target are
    // the episode's own.
    void set_transfer_options(const EpisodeRequest& options) { options_ = options; }
    // What each episode gets as it lands (its tags, the book folder's cover and
    // playlist); none: the files stay as they came.
    void set_landing(const EpisodeLanding* landing) { landing_ = landing; }
    void set_double_press_interval(std::chrono::milliseconds interval) { double_press_ = interval; }
    // Episodes downloading at once, 1 to most_at_once; takes effect as places free up.
    void set_parallel_downloads(int count);
    int parallel_downloads() const { return parallel_; }

    // The run under way, paused, or the last one.
    const RunProgress& run() const { return run_; }
    // Forgets the last run (another book is listed); not while one is under way.
    void forget_run();

  signals:
    void buttonChanged(); // what it offers, or enabled
    void runChanged();    // the counts or the speed of the run
    void episodeArrived(EpisodeId id); // on disk under its final name
    // The run ended: every episode it set out to fetch arrived or failed.
    void runEnded(int arrived, int failed);
    // The disk is full or the save folder cannot be written: the run stopped,
    // the button offers a download and is enabled for a later try, and the
    // episodes not reached yet are as they were. `message` is for the user.
    void stoppedForDisk(const Text& message);

  private:
    struct Pass {
        std::deque<EpisodeId> first; // paused episodes, fetched before the rest
        int next = 0;                // the index to reach next
        int count = 0;               // episodes counted when the pass began
    };
    // One episode under way.
    struct Slot {
        EpisodeId id = 0;
        EpisodeSource source;
        Text title;
        Text label;
        Text save_folder;
        Text address;
        Text path;
        std::filesystem::path native;
        DownloadState state_before = DownloadState::not_on_disk;
        std::int64_t received = 0, total = -1;
        QElapsedTimer since_progress;
        bool renewed = false; // its key was asked for once more already
        std::unique_ptr<TransferHandler> transfer;
        std::unique_ptr<KeyRenewal> renewal;
    };
    void start();
    void pause();
    void advance();
    const Episode* next_episode();
    bool fetchable(const Episode* episode) const;
    bool anything_to_fetch() const;
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
    // Stops every episode under way; `change` sets what each one reads afterwards.
    void stop_all(const std::function<void(Episode&, const Slot&)>& change);
    void end_run();
    void unqueue();
    void show_run(bool now);
    void stop_for_disk(const Text& message);
    void set_state(State state, bool enabled);

    EpisodeList& episodes_;
    EpisodeRequest options_;
    const EpisodeLanding* landing_ = nullptr;
    State state_ = State::initial;
    bool enabled_ = false;
    bool rows_pending_ = false;
    bool waiting_for_rows_ = false;
    bool aborted_ = false;
    int parallel_ = 1;
    std::optional<Pass> pass_;
    std::chrono::milliseconds double_press_{400};
    QElapsedTimer since_start_;
    std::vector<std::unique_ptr<Slot>> slots_; // in the order they started
    RunProgress run_;
    QElapsedTimer since_run_shown_;
};

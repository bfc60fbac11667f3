#include "session/download_sequence.hpp"

#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "session/key_renewal.hpp"
#include "files/files.hpp"
#include "transfer/transfer_handler.hpp"
#include "text/gbk.hpp"

#include <algorithm>

namespace {

constexpr qint64 progress_interval_ms = 200;
constexpr long key_refused = 403;

bool disk_failure(const EpisodeResult& result) {
    return result.status == EpisodeStatus::no_space || result.status == EpisodeStatus::cannot_write;
}

} // namespace

DownloadSequence::DownloadSequence(EpisodeList& episodes, QObject* parent)
    : QObject(parent), episodes_(episodes) {}

DownloadSequence::~DownloadSequence() {
    abort();
}

DownloadSequence::State DownloadSequence::state() const {
    const bool pause = offer_ == Offer::pause;
    if (running())
        return pause ? State::running : State::pause_asked;
    if (pause)
        return enabled_ ? State::idle_pause : State::done;
    if (enabled_)
        return State::ready;
    return pause_requested_ ? State::stopped : State::initial;
}

bool DownloadSequence::enabled() const {
    return enabled_;
}

bool DownloadSequence::running() const {
    return !passes_.empty();
}

void DownloadSequence::set_parallel_downloads(int count) {
    parallel_ = std::clamp(count, 1, most_at_once);
    advance();
}

void DownloadSequence::set_button(Offer offer, bool enabled) {
    if (offer == offer_ && enabled == enabled_)
        return;
    offer_ = offer;
    enabled_ = enabled;
    emit buttonChanged();
}

void DownloadSequence::press() {
    if (aborted_ || !enabled_)
        return;
    if (offer_ == Offer::download) {
        set_button(Offer::pause, true);
        pause_requested_ = false;
        since_start_.start();
        if (!slots_.empty())
            pass_pending_ = true; // begins once the episodes under way are done
        else
            start_pass();
        advance();
    } else {
        if (running() && since_start_.isValid() && since_start_.elapsed() < double_press_.count())
            return;
        pause_requested_ = true;
        pass_pending_ = false; // a pass asked for and not yet begun is withdrawn
        set_button(Offer::download, true);
        advance(); // ends the pass now when nothing is under way
    }
}

void DownloadSequence::query_filled(bool first_has_address) {
    if (first_has_address && !aborted_)
        set_button(offer_, true);
}

void DownloadSequence::set_rows_pending(bool pending) {
    rows_pending_ = pending;
    if (!pending)
        rows_added();
}

void DownloadSequence::rows_added() {
    if (waiting_for_rows_ && !aborted_) {
        waiting_for_rows_ = false;
        advance();
    }
}

// Every transfer is told to stop before any is waited for, so they end together.
void DownloadSequence::abort() {
    aborted_ = true;
    passes_.clear();
    pass_pending_ = false;
    for (const auto& slot : slots_) {
        slot->renewal.reset();
        if (slot->transfer) {
            slot->transfer->disconnect(this);
            slot->transfer->cancel();
        }
    }
    slots_.clear(); // waits for the workers
}

// A new pass over the rows counted now; the run counts what it will fetch.
void DownloadSequence::start_pass() {
    waiting_for_rows_ = false;
    if (passes_.empty())
        run_.start();
    passes_.push_back({0, episodes_.size()});
    int to_fetch = 0;
    for (int index = 0; index < passes_.back().count; ++index)
        to_fetch += fetchable(episodes_.at(index)) ? 1 : 0;
    run_.set_total(run_.arrived() + run_.failed() + int(slots_.size()) + to_fetch);
    show_run(true);
}

// Fills the free places with the next episodes in list order, passing over
// those that have nothing to fetch, and ends passes that are done.
void DownloadSequence::advance() {
    while (!aborted_ && !passes_.empty()) {
        if (pause_requested_ || pass_pending_) {
            if (!slots_.empty() || !settle())
                return;
            continue;
        }
        Pass& pass = passes_.back();
        if (pass.next >= pass.count) {
            if (!slots_.empty())
                return; // the pass ends with its last episode
            end_pass();
            continue;
        }
        if (int(slots_.size()) >= parallel_)
            return;
        const Episode* episode = episodes_.at(pass.next);
        if (!episode && rows_pending_) {
            waiting_for_rows_ = true;
            return;
        }
        ++pass.next;
        if (fetchable(episode))
            start_episode(*episode);
        else if (episode && is_web_address(episode->remote) && !has_audio_key(episode->remote))
            note_missing_key(*episode);
    }
}

// Nothing is under way any more: a pass asked for meanwhile begins, or a pause
// ends the pass.
bool DownloadSequence::settle() {
    if (pass_pending_) {
        pass_pending_ = false;
        start_pass();
    } else {
        end_pass();
    }
    return true;
}

// False when the episode has nothing to fetch: it is gone, on disk already,
// has no web address or no key, belongs to no book, or is under way already.
bool DownloadSequence::fetchable(const Episode* episode) const {
    return episode && !episode->on_disk() && is_web_address(episode->remote) &&
           has_audio_key(episode->remote) && !episode->book.title.empty() &&
           !under_way(episode->id);
}

// The player script gave no key: the address ends where the key would stand.
// The query may have said why already; that reason stays.
void DownloadSequence::note_missing_key(const Episode& episode) {
    episodes_.update(episode.id, [](Episode& e) {
        e.state = DownloadState::no_key;
        if (e.reason.empty())
            e.reason = gbk("未取得音频地址");
    });
}

bool DownloadSequence::under_way(EpisodeId id) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [id](const auto& slot) { return slot->id == id; });
}

void DownloadSequence::start_episode(const Episode& episode) {
    create_folder(book_folder(episode.book.save_folder, episode.book.title));
    auto slot = std::make_unique<Slot>();
    slot->id = episode.id;
    slot->source = episode.source;
    slot->title = episode.book.title;
    slot->address = episode.remote;
    slot->path = downloaded_file_path(episode.book.save_folder, episode.book.title, episode.label);
    slot->native = native_path(slot->path);
    slot->state_before = episode.state;
    slots_.push_back(std::move(slot));
    start_transfer(*slots_.back());
}

void DownloadSequence::start_transfer(Slot& slot) {
    slot.since_progress.start();
    EpisodeRequest request = options_;
    request.address = slot.address;
    request.target = slot.native;
    slot.transfer = std::make_unique<TransferHandler>(request);
    Slot* s = &slot; // slots live on the heap until they end
    connect(slot.transfer.get(), &TransferHandler::progressed, this,
            [this, s](qint64 received, qint64 total) { on_progress(*s, received, total); });
    connect(slot.transfer.get(), &TransferHandler::retrying, this,
            [this, s](int retry, int of) { on_retry(*s, retry, of); });
    connect(slot.transfer.get(), &TransferHandler::finished, this,
            [this, s] { on_transfer_finished(*s); });
}

// A transfer shorter than the interval shows no progress at all.
void DownloadSequence::on_progress(Slot& slot, std::int64_t received, std::int64_t total) {
    run_.progressed(slot.id, received, total);
    show_run(false);
    if (slot.since_progress.elapsed() < progress_interval_ms)
        return;
    slot.since_progress.start();
    episodes_.update(slot.id, [received, total](Episode& e) {
        e.state = DownloadState::downloading;
        e.received = received;
        e.total = total;
    });
}

void DownloadSequence::on_retry(Slot& slot, int retry, int of) {
    episodes_.update(slot.id, [retry, of](Episode& e) {
        e.state = DownloadState::retrying;
        e.retry = retry;
        e.retries = of;
    });
}

void DownloadSequence::on_transfer_finished(Slot& slot) {
    const EpisodeResult result = slot.transfer->result();
    slot.transfer.release()->deleteLater();
    if (!renew_key(slot, result))
        finish_episode(slot, result);
}

// A refused key is asked for once more, when the row says where from.
bool DownloadSequence::renew_key(Slot& slot, const EpisodeResult& result) {
    if (result.status != EpisodeStatus::failed || result.http_status != key_refused ||
        slot.renewed || slot.source.book_id.empty() || slot.source.episode_number.empty())
        return false;
    slot.renewed = true;
    slot.renewal = std::make_unique<KeyRenewal>(slot.source, slot.title);
    Slot* s = &slot;
    connect(slot.renewal.get(), &KeyRenewal::finished, this,
            [this, s, result](const Text& address) { on_key_renewed(*s, address, result); });
    return true;
}

// A new key is tried at once and shown in the row; without one the row fails
// for the first refusal.
void DownloadSequence::on_key_renewed(Slot& slot, const Text& address, const EpisodeResult& refused) {
    slot.renewal.release()->deleteLater();
    if (!has_audio_key(address) || address == slot.address) {
        finish_episode(slot, refused);
        return;
    }
    slot.address = address;
    episodes_.update(slot.id, [&address](Episode& e) { e.remote = address; });
    start_transfer(slot);
}

void DownloadSequence::finish_episode(Slot& slot, const EpisodeResult& result) {
    const bool arrived = result.status == EpisodeStatus::downloaded ||
                         result.status == EpisodeStatus::already_complete;
    const bool disk = disk_failure(result);
    episodes_.update(slot.id, [&](Episode& e) {
        e.received = 0;
        e.total = -1;
        e.disk_trouble = false;
        if (arrived) {
            e.state = DownloadState::downloaded;
            e.local = slot.path;
            e.file = slot.native;
            e.reason.clear();
        } else {
            // The episode keeps its address; the reason says why it failed.
            e.state = DownloadState::failed;
            e.disk_trouble = disk;
            e.reason = result.reason;
        }
    });
    run_.ended(slot.id, arrived);
    const auto at = std::find_if(slots_.begin(), slots_.end(),
                                 [&slot](const auto& s) { return s.get() == &slot; });
    slots_.erase(at);
    if (disk) {
        stop_for_disk(result.reason); // the next episode would fail the same way
        return;
    }
    show_run(true);
    advance();
}

// Every other episode under way stops at once (its partial file stays for a
// later try) and its row reads as before; the run ends with the button ready.
void DownloadSequence::stop_for_disk(const Text& message) {
    for (const auto& other : slots_) {
        other->renewal.reset();
        if (other->transfer) {
            other->transfer->disconnect(this);
            other->transfer->cancel();
        }
    }
    std::vector<std::unique_ptr<Slot>> stopped = std::move(slots_);
    slots_.clear();
    for (const auto& other : stopped)
        episodes_.update(other->id, [&other](Episode& e) {
            e.state = other->state_before;
            e.received = 0;
            e.total = -1;
        });
    stopped.clear(); // waits for the workers
    passes_.clear();
    pass_pending_ = false;
    pause_requested_ = false;
    waiting_for_rows_ = false;
    set_button(Offer::download, true);
    run_.finish();
    show_run(true);
    emit sequenceEnded();
    emit runEnded(run_.arrived(), run_.failed());
    emit stoppedForDisk(message);
}

// The button is disabled and keeps offering a pause after a complete pass;
// after a pause it offers a download and stays enabled, to go on. An outer
// pass then goes on.
void DownloadSequence::end_pass() {
    passes_.pop_back();
    waiting_for_rows_ = false;
    set_button(offer_, offer_ == Offer::download);
    emit sequenceEnded();
    if (passes_.empty()) {
        run_.finish();
        show_run(true);
        emit runEnded(run_.arrived(), run_.failed());
    }
}

// The run's line changes a few times a second at most, and at once when an
// episode ends.
void DownloadSequence::show_run(bool now) {
    if (!now && since_run_shown_.isValid() && since_run_shown_.elapsed() < progress_interval_ms)
        return;
    since_run_shown_.start();
    emit runChanged();
}

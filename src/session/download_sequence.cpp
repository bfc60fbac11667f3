#include "session/download_sequence.hpp"

#include "session/key_renewal.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "tagging/episode_landing.hpp"
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

void DownloadSequence::set_parallel_downloads(int count) {
    parallel_ = std::clamp(count, 1, most_at_once);
    advance();
}

void DownloadSequence::set_state(State state, bool enabled) {
    const bool offer_changed = offer() != (state == State::running ? Offer::pause : Offer::download);
    state_ = state;
    if (!offer_changed && enabled == enabled_)
        return;
    enabled_ = enabled;
    emit buttonChanged();
}

void DownloadSequence::press() {
    if (aborted_ || !enabled_)
        return;
    if (!running()) {
        start();
    } else if (!since_start_.isValid() || since_start_.elapsed() >= double_press_.count()) {
        pause();
    }
}

void DownloadSequence::query_filled(bool first_has_address) {
    if (aborted_ || running())
        return;
    if (state_ == State::paused)
        run_.finish(); // its episodes are no longer listed
    if (first_has_address)
        set_state(State::ready, true);
}

void DownloadSequence::offer_unfinished() {
    if (!aborted_ && !running())
        set_state(State::paused, true);
}

void DownloadSequence::forget_run() {
    if (running())
        return;
    run_ = RunProgress();
    emit runChanged();
}

void DownloadSequence::set_rows_pending(bool pending) {
    rows_pending_ = pending;
    if (!pending)
        rows_added();
}

// Rows the running query adds while a pass is under way belong to that pass,
// wherever it stands: they wait their turn and count in the run.
void DownloadSequence::rows_added() {
    if (pass_ && rows_pending_ && !aborted_ && episodes_.size() > pass_->count) {
        int more = 0;
        for (int i = pass_->count; i < episodes_.size(); ++i) {
            const Episode* episode = episodes_.at(i);
            if (!fetchable(episode))
                continue;
            ++more;
            episodes_.update(episode->id, [](Episode& e) { e.state = DownloadState::queued; });
        }
        pass_->count = episodes_.size();
        run_.set_total(run_.total() + more);
    }
    if (waiting_for_rows_ && !aborted_) {
        waiting_for_rows_ = false;
        advance();
    }
}

// Every transfer is told to stop before any is waited for, so they end together.
void DownloadSequence::abort() {
    aborted_ = true;
    pass_.reset();
    state_ = State::done;
    for (const auto& slot : slots_) {
        slot->renewal.reset();
        if (slot->transfer) {
            slot->transfer->disconnect(this);
            slot->transfer->cancel();
        }
    }
    slots_.clear(); // waits for the workers
    unqueue();
}

// A new pass over the episodes listed now, those a pause stopped first. A
// paused run goes on counting; otherwise a new run begins.
void DownloadSequence::start() {
    since_start_.start();
    waiting_for_rows_ = false;
    Pass pass{{}, 0, episodes_.size()};
    int to_fetch = 0;
    std::vector<EpisodeId> queued;
    for (const Episode& episode : episodes_.episodes()) {
        if (!fetchable(&episode))
            continue;
        ++to_fetch;
        if (episode.state == DownloadState::paused)
            pass.first.push_back(episode.id);
        else
            queued.push_back(episode.id);
    }
    for (const EpisodeId id : queued)
        episodes_.update(id, [](Episode& e) { e.state = DownloadState::queued; });
    if (run_.paused() && state_ == State::paused) {
        run_.resume();
    } else {
        const Episode* first = episodes_.at(0);
        run_.start(first ? first->book.title : Text());
    }
    run_.set_total(run_.arrived() + to_fetch);
    pass_ = std::move(pass);
    set_state(State::running, true);
    if (to_fetch > 0 || rows_pending_)
        show_run(true); // a run with nothing to fetch ends at once, and says so then
    advance();
}

// Every episode under way stops now; what arrived stays for the next press.
void DownloadSequence::pause() {
    stop_all([](Episode& e, const Slot& slot) {
        e.state = slot.received > 0 ? DownloadState::paused : slot.state_before;
        e.received = slot.received;
        e.total = slot.total;
    });
    pass_.reset();
    waiting_for_rows_ = false;
    unqueue();
    run_.pause();
    set_state(State::paused, true);
    show_run(true);
}

// Fills the free places with the next episodes, passing over those that have
// nothing to fetch, and ends the run when it is done.
void DownloadSequence::advance() {
    while (!aborted_ && pass_ && int(slots_.size()) < parallel_) {
        const Episode* episode = next_episode();
        if (waiting_for_rows_)
            return;
        if (!episode) {
            if (slots_.empty())
                end_run();
            return;
        }
        if (fetchable(episode))
            start_episode(*episode);
        else if (is_web_address(episode->remote) && !has_audio_key(episode->remote) &&
                 episode->state != DownloadState::not_out)
            note_missing_key(*episode);
    }
}

// The next episode of the pass (one with nothing to fetch included), or null
// once the pass has been through them all.
const Episode* DownloadSequence::next_episode() {
    while (!pass_->first.empty()) {
        const Episode* paused = episodes_.find(pass_->first.front());
        pass_->first.pop_front();
        if (paused)
            return paused;
    }
    while (pass_->next < pass_->count || (rows_pending_ && pass_->next >= episodes_.size())) {
        const Episode* episode = episodes_.at(pass_->next);
        if (!episode) {
            waiting_for_rows_ = true;
            return nullptr;
        }
        ++pass_->next;
        if (pass_->next > pass_->count)
            pass_->count = pass_->next; // a row the running query added
        return episode;
    }
    return nullptr;
}

// False when the episode has nothing to fetch: it is gone, on disk already,
// has no web address or no key, belongs to no book, or is under way already.
bool DownloadSequence::fetchable(const Episode* episode) const {
    return episode && !episode->on_disk() && is_web_address(episode->remote) &&
           has_audio_key(episode->remote) && !episode->book.title.empty() &&
           !under_way(episode->id);
}

bool DownloadSequence::anything_to_fetch() const {
    return std::any_of(episodes_.episodes().begin(), episodes_.episodes().end(),
                       [this](const Episode& e) { return fetchable(&e); });
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
    slot->label = episode.label;
    slot->save_folder = episode.book.save_folder;
    slot->address = episode.remote;
    slot->path = downloaded_file_path(episode.book.save_folder, episode.book.title, episode.label);
    slot->native = native_path(slot->path);
    slot->state_before = episode.state == DownloadState::paused ||
                                 episode.state == DownloadState::queued
                             ? DownloadState::not_on_disk
                             : episode.state;
    slot->received = episode.received;
    slot->total = episode.total;
    slots_.push_back(std::move(slot));
    start_transfer(*slots_.back());
}

void DownloadSequence::start_transfer(Slot& slot) {
    slot.since_progress.start();
    EpisodeRequest request = options_;
    request.address = slot.address;
    request.target = slot.native;
    if (!request.host_length)
        request.host_length = host_length_of; // a tagged file records the host's length
    if (landing_) {
        LandingSteps steps =
            landing_->steps_for(slot.title, slot.label,
                                native_path(book_folder(slot.save_folder, slot.title)),
                                book_name(slot.title));
        request.prepare_file = std::move(steps.prepare);
        request.landed = std::move(steps.landed);
    }
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
    slot.received = received;
    slot.total = total;
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
    const EpisodeId id = slot.id;
    const auto at = std::find_if(slots_.begin(), slots_.end(),
                                 [&slot](const auto& s) { return s.get() == &slot; });
    slots_.erase(at);
    if (arrived)
        emit episodeArrived(id);
    if (disk) {
        stop_for_disk(result.reason); // the next episode would fail the same way
        return;
    }
    show_run(true);
    advance();
}

void DownloadSequence::stop_all(const std::function<void(Episode&, const Slot&)>& change) {
    for (const auto& slot : slots_) {
        slot->renewal.reset();
        if (slot->transfer) {
            slot->transfer->disconnect(this);
            slot->transfer->cancel();
        }
    }
    // Moved out first: a handler of the changes below sees no half-stopped slots.
    std::vector<std::unique_ptr<Slot>> stopped = std::move(slots_);
    slots_.clear();
    for (const auto& slot : stopped)
        episodes_.update(slot->id, [&](Episode& e) { change(e, *slot); });
    stopped.clear(); // waits for the workers
}

// Every other episode under way stops at once (its partial file stays for a
// later try) and reads as before; the run ends with the button ready.
void DownloadSequence::stop_for_disk(const Text& message) {
    stop_all([](Episode& e, const Slot& slot) {
        e.state = slot.state_before;
        e.received = 0;
        e.total = -1;
    });
    pass_.reset();
    waiting_for_rows_ = false;
    unqueue();
    run_.finish();
    set_state(State::ready, true);
    show_run(true);
    emit runEnded(run_.arrived(), run_.failed());
    emit stoppedForDisk(message);
}

// The button stays ready while the list holds something to fetch (an episode
// that failed, say).
void DownloadSequence::end_run() {
    pass_.reset();
    waiting_for_rows_ = false;
    unqueue();
    run_.finish();
    set_state(State::done, anything_to_fetch());
    show_run(true);
    emit runEnded(run_.arrived(), run_.failed());
}

// Episodes the run set out to fetch and did not reach are no longer waiting.
void DownloadSequence::unqueue() {
    for (const Episode& episode : episodes_.episodes())
        if (episode.state == DownloadState::queued)
            episodes_.update(episode.id, [](Episode& e) { e.state = DownloadState::not_on_disk; });
}

// The run's line changes a few times a second at most, and at once when an
// episode ends.
void DownloadSequence::show_run(bool now) {
    if (!now && since_run_shown_.isValid() && since_run_shown_.elapsed() < progress_interval_ms)
        return;
    since_run_shown_.start();
    emit runChanged();
}

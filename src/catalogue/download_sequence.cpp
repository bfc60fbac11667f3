#include "catalogue/download_sequence.hpp"

#include "catalogue/download_paths.hpp"
#include "catalogue/key_renewal.hpp"
#include "files/files.hpp"
#include "transfer/transfer_handler.hpp"
#include "text/gbk.hpp"

#include <algorithm>

namespace {

constexpr qint64 progress_interval_ms = 200;
constexpr long key_refused = 403;

bool is_web_address(const Text& address) {
    return find_text(address, "http://", 1, true) == 1 ||
           find_text(address, "https://", 1, true) == 1;
}

bool disk_failure(const EpisodeResult& result) {
    return result.status == EpisodeStatus::no_space || result.status == EpisodeStatus::cannot_write;
}

bool has_key(const Text& address) {
    const Text end = "?key=";
    return address.size() > end.size() &&
           address.compare(address.size() - end.size(), end.size(), end) != 0;
}

} // namespace

Text progress_text(std::int64_t received, std::int64_t total) {
    if (total > 0)
        return number_to_text(double(received * 100 / total)) + "%";
    if (received < 1024)
        return number_to_text(double(received)) + "B";
    if (received < 10 * 1024 * 1024)
        return number_to_text(double(received / 1024)) + "KB";
    return number_to_text(double(received / (1024 * 1024))) + "MB";
}

DownloadSequence::DownloadSequence(EpisodeListModel& rows, QObject* parent)
    : QObject(parent), rows_(rows), caption_(gbk("下载")) {}

DownloadSequence::~DownloadSequence() {
    abort();
}

DownloadSequence::State DownloadSequence::state() const {
    const bool pause = caption_ == gbk("暂停");
    if (running())
        return pause ? State::running : State::pause_asked;
    if (pause)
        return enabled_ ? State::idle_pause : State::done;
    if (enabled_)
        return State::ready;
    return pause_requested_ ? State::stopped : State::initial;
}

Text DownloadSequence::caption() const {
    return caption_;
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

void DownloadSequence::set_button(const Text& caption, bool enabled) {
    if (caption == caption_ && enabled == enabled_)
        return;
    caption_ = caption;
    enabled_ = enabled;
    emit buttonChanged();
}

void DownloadSequence::press() {
    if (aborted_ || !enabled_)
        return;
    if (caption_ == gbk("下载")) {
        set_button(gbk("暂停"), true);
        pause_requested_ = false;
        since_start_.start();
        if (!slots_.empty())
            pass_pending_ = true; // begins once the episodes under way are done
        else
            start_pass();
        advance();
    } else if (caption_ == gbk("暂停")) {
        if (running() && since_start_.isValid() && since_start_.elapsed() < double_press_.count())
            return;
        pause_requested_ = true;
        pass_pending_ = false; // a pass asked for and not yet begun is withdrawn
        set_button(gbk("下载"), true);
        advance(); // ends the pass now when nothing is under way
    }
}

void DownloadSequence::query_filled(bool first_row_has_address) {
    if (first_row_has_address && !aborted_)
        set_button(caption_, true);
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
    passes_.push_back({0, rows_.row_count()});
    int to_fetch = 0;
    for (int row = 0; row < passes_.back().count; ++row)
        to_fetch += fetchable(row) ? 1 : 0;
    run_.set_total(run_.arrived() + run_.failed() + int(slots_.size()) + to_fetch);
    show_run(true);
}

// Fills the free places with the next rows in list order, passing over rows
// that have nothing to fetch, and ends passes that are done.
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
        const int row = pass.next;
        if (row >= rows_.row_count() && rows_pending_) {
            waiting_for_rows_ = true;
            return;
        }
        ++pass.next;
        if (fetchable(row))
            start_row(row);
        else if (lacks_key(row))
            note_missing_key(row);
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

// False when the row has nothing to fetch: it is gone, has no web address (a
// local file already), has no key, belongs to no book, or is under way already.
bool DownloadSequence::fetchable(int row) const {
    return row < rows_.row_count() && is_web_address(rows_.cell(row, 1)) &&
           has_key(rows_.cell(row, 1)) && !rows_.row_book(row).title.empty() &&
           !under_way(rows_.row_id(row));
}

// The player script gave no key: the address ends where the key would stand.
bool DownloadSequence::lacks_key(int row) const {
    return row < rows_.row_count() && is_web_address(rows_.cell(row, 1)) &&
           !has_key(rows_.cell(row, 1));
}

// The query may have said why already; that reason stays.
void DownloadSequence::note_missing_key(int row) {
    if (rows_.state_note(row).empty())
        rows_.set_state_note(row, gbk("未取得音频地址"));
    emit rowChanged(row);
}

bool DownloadSequence::under_way(std::uint64_t row_id) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [row_id](const auto& slot) { return slot->row_id == row_id; });
}

void DownloadSequence::start_row(int row) {
    const RowBook book = rows_.row_book(row);
    create_folder(book_folder(book.save_folder, book.title));
    auto slot = std::make_unique<Slot>();
    slot->row_id = rows_.row_id(row);
    slot->source = rows_.row_source(row);
    slot->title = book.title;
    slot->address = rows_.cell(row, 1);
    slot->path = downloaded_file_path(book.save_folder, book.title, rows_.cell(row, 0));
    slot->native = native_path(slot->path);
    slot->state_before = rows_.cell(row, 3);
    slots_.push_back(std::move(slot));
    start_transfer(*slots_.back());
}

void DownloadSequence::start_transfer(Slot& slot) {
    slot.progress_shown.clear();
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
    run_.progressed(slot.row_id, received, total);
    show_run(false);
    const int row = rows_.row_of(slot.row_id);
    if (row < 0 || slot.since_progress.elapsed() < progress_interval_ms)
        return;
    const Text text = progress_text(received, total);
    if (text == slot.progress_shown)
        return;
    slot.progress_shown = text;
    rows_.set_cell(row, 3, text);
    slot.since_progress.start();
    emit rowChanged(row);
}

void DownloadSequence::on_retry(Slot& slot, int retry, int of) {
    const int row = rows_.row_of(slot.row_id);
    if (row < 0)
        return;
    slot.progress_shown = gbk("重试 ") + number_to_text(retry) + "/" + number_to_text(of);
    rows_.set_cell(row, 3, slot.progress_shown);
    emit rowChanged(row);
}

void DownloadSequence::on_transfer_finished(Slot& slot) {
    const EpisodeResult result = slot.transfer->result();
    slot.transfer.release()->deleteLater();
    if (!renew_key(slot, result))
        finish_row(slot, result);
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
    if (!has_key(address) || address == slot.address) {
        finish_row(slot, refused);
        return;
    }
    slot.address = address;
    const int row = rows_.row_of(slot.row_id);
    if (row >= 0) {
        rows_.set_cell(row, 1, address);
        emit rowChanged(row);
    }
    start_transfer(slot);
}

void DownloadSequence::finish_row(Slot& slot, const EpisodeResult& result) {
    const bool arrived = result.status == EpisodeStatus::downloaded ||
                         result.status == EpisodeStatus::already_complete;
    const int row = rows_.row_of(slot.row_id);
    if (row >= 0) {
        if (arrived) {
            rows_.set_cell(row, 3, gbk("已下载"));
            rows_.set_cell(row, 1, slot.path);
            rows_.set_row_native_path(row, slot.native);
            rows_.set_state_note(row, {});
        } else if (disk_failure(result)) {
            rows_.set_cell(row, 3, result.reason); // says it in the list, not just the tooltip
            rows_.set_state_note(row, result.reason);
        } else {
            // The row stays as it was: its address and its state.
            rows_.set_cell(row, 3, slot.state_before);
            rows_.set_state_note(row, result.reason);
        }
    }
    run_.ended(slot.row_id, arrived);
    const auto at = std::find_if(slots_.begin(), slots_.end(),
                                 [&slot](const auto& s) { return s.get() == &slot; });
    slots_.erase(at);
    if (row >= 0)
        emit rowChanged(row);
    if (disk_failure(result)) {
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
    for (const auto& other : stopped) {
        const int row = rows_.row_of(other->row_id);
        if (row < 0)
            continue;
        rows_.set_cell(row, 3, other->state_before);
        emit rowChanged(row);
    }
    stopped.clear(); // waits for the workers
    passes_.clear();
    pass_pending_ = false;
    pause_requested_ = false;
    waiting_for_rows_ = false;
    set_button(gbk("下载"), true);
    run_.finish();
    show_run(true);
    emit sequenceEnded();
    emit runEnded(run_.arrived(), run_.failed());
    emit stoppedForDisk(message);
}

// The button is disabled and keeps its caption after a complete pass ("暂停");
// after a pause it reads "下载" and stays enabled, to go on. An outer pass then
// goes on.
void DownloadSequence::end_pass() {
    passes_.pop_back();
    waiting_for_rows_ = false;
    set_button(caption_, caption_ == gbk("下载"));
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

#include "catalogue/download_sequence.hpp"

#include "catalogue/download_paths.hpp"
#include "files/files.hpp"
#include "transfer/transfer_handler.hpp"
#include "text/gbk.hpp"

namespace {

constexpr qint64 progress_interval_ms = 200;

bool is_web_address(const Text& address) {
    return find_text(address, "http://", 1, true) == 1 ||
           find_text(address, "https://", 1, true) == 1;
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
        if (transfer_)
            pass_pending_ = true; // begins once the episode under way is done
        else
            start_pass();
    } else if (caption_ == gbk("暂停")) {
        if (running() && since_start_.isValid() && since_start_.elapsed() < double_press_.count())
            return;
        pause_requested_ = true;
        pass_pending_ = false; // a pass asked for and not yet begun is withdrawn
        set_button(gbk("下载"), true);
        if (running() && !transfer_)
            end_pass(); // waiting for rows: nothing to finish first
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
    if (waiting_for_rows_ && !transfer_ && !aborted_) {
        waiting_for_rows_ = false;
        advance();
    }
}

void DownloadSequence::abort() {
    aborted_ = true;
    passes_.clear();
    pass_pending_ = false;
    if (transfer_) {
        transfer_->disconnect(this);
        transfer_->cancel();
        transfer_.reset(); // waits for the worker, which removes its temporary file
    }
}

void DownloadSequence::start_pass() {
    waiting_for_rows_ = false;
    passes_.push_back({0, rows_.row_count()});
    advance();
}

// Starts the next row's transfer, passing over rows that have nothing to fetch.
void DownloadSequence::advance() {
    while (!aborted_ && !passes_.empty()) {
        Pass& pass = passes_.back();
        if (pass.next >= pass.count) {
            end_pass();
            return;
        }
        const int r = pass.next;
        if (r >= rows_.row_count() && rows_pending_) {
            waiting_for_rows_ = true;
            return;
        }
        ++pass.next;
        if (start_row(r))
            return;
        // Nothing was fetched for this row; the pause request still counts.
        if (pass_pending_ || pause_requested_) {
            after_row();
            return;
        }
    }
}

// False when the row has nothing to fetch: it is gone, has no web address (a
// local file already), or belongs to no book.
bool DownloadSequence::start_row(int row) {
    if (row >= rows_.row_count())
        return false;
    const Text address = rows_.cell(row, 1);
    const RowBook book = rows_.row_book(row);
    if (!is_web_address(address) || book.title.empty())
        return false;
    // The player script gave no key; the query may have said why already.
    if (address.ends_with("?key=")) {
        if (rows_.state_note(row).empty())
            rows_.set_state_note(row, gbk("未取得音频地址"));
        emit rowChanged(row);
        return false;
    }
    create_folder(book_folder(book.save_folder, book.title));
    transfer_path_ = downloaded_file_path(book.save_folder, book.title, rows_.cell(row, 0));
    transfer_native_ = native_path(transfer_path_);
    transfer_row_id_ = rows_.row_id(row);
    state_before_ = rows_.cell(row, 3);
    progress_shown_.clear();
    since_progress_.start();

    EpisodeRequest request = options_;
    request.address = address;
    request.target = transfer_native_;
    transfer_ = std::make_unique<TransferHandler>(request);
    connect(transfer_.get(), &TransferHandler::progressed, this,
            [this](qint64 received, qint64 total) { on_progress(received, total); });
    connect(transfer_.get(), &TransferHandler::retrying, this,
            [this](int retry, int of) { on_retry(retry, of); });
    connect(transfer_.get(), &TransferHandler::finished, this, [this] { on_transfer_finished(); });
    return true;
}

void DownloadSequence::mark_downloaded(int row, const Text& path,
                                       const std::filesystem::path& native) {
    rows_.set_cell(row, 3, gbk("已下载"));
    rows_.set_cell(row, 1, path);
    rows_.set_row_native_path(row, native);
    rows_.set_state_note(row, {});
}

int DownloadSequence::transfer_row() const {
    return rows_.row_of(transfer_row_id_);
}

// A transfer shorter than the interval shows no progress at all.
void DownloadSequence::on_progress(std::int64_t received, std::int64_t total) {
    const int row = transfer_row();
    if (row < 0 || since_progress_.elapsed() < progress_interval_ms)
        return;
    const Text text = progress_text(received, total);
    if (text == progress_shown_)
        return;
    progress_shown_ = text;
    rows_.set_cell(row, 3, text);
    since_progress_.start();
    emit rowChanged(row);
}

void DownloadSequence::on_retry(int retry, int of) {
    const int row = transfer_row();
    if (row < 0)
        return;
    progress_shown_ = gbk("重试 ") + number_to_text(retry) + "/" + number_to_text(of);
    rows_.set_cell(row, 3, progress_shown_);
    emit rowChanged(row);
}

void DownloadSequence::on_transfer_finished() {
    const EpisodeResult result = transfer_->result();
    transfer_.release()->deleteLater();
    const int row = transfer_row();
    if (row >= 0) {
        switch (result.status) {
        case EpisodeStatus::downloaded:
        case EpisodeStatus::already_complete:
            mark_downloaded(row, transfer_path_, transfer_native_);
            break;
        case EpisodeStatus::failed:
        case EpisodeStatus::cancelled:
            // The row stays as it was: its address and its state.
            rows_.set_cell(row, 3, state_before_);
            rows_.set_state_note(row, result.reason);
            break;
        case EpisodeStatus::no_space:
        case EpisodeStatus::cannot_write:
            rows_.set_cell(row, 3, result.reason); // says it in the list, not just the tooltip
            rows_.set_state_note(row, result.reason);
            break;
        }
        emit rowChanged(row);
    }
    if (result.status == EpisodeStatus::no_space || result.status == EpisodeStatus::cannot_write)
        stop_for_disk(result.reason); // the next episode would fail the same way
    else
        after_row();
}

void DownloadSequence::stop_for_disk(const Text& message) {
    passes_.clear();
    pass_pending_ = false;
    waiting_for_rows_ = false;
    set_button(gbk("下载"), true);
    emit sequenceEnded();
    emit stoppedForDisk(message);
}

// What follows an episode: a pass asked for meanwhile begins, or a pause ends
// the pass, or the next row starts.
void DownloadSequence::after_row() {
    if (aborted_)
        return;
    if (pass_pending_) {
        pass_pending_ = false;
        start_pass();
    } else if (pause_requested_) {
        end_pass();
    } else {
        advance();
    }
}

// The button is disabled and keeps its caption: "暂停" after a complete pass,
// "下载" after a pause. An outer pass then goes on after its episode.
void DownloadSequence::end_pass() {
    passes_.pop_back();
    waiting_for_rows_ = false;
    set_button(caption_, false);
    emit sequenceEnded();
    if (!passes_.empty())
        after_row();
}

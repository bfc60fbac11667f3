#include "catalogue/episode_query.hpp"

#include "catalogue/download_paths.hpp"
#include "catalogue/episode_address.hpp"
#include "http/web_access.hpp"
#include "text/gbk.hpp"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

struct EpisodeQuery::Run {
    QueryPlan plan;
    std::atomic<int> next{1}; // the ordinal the next free worker takes
    std::atomic<bool> cancelled{false};
    int places = 0;                  // workers that may still join (under the workers' lock)
    std::map<int, Resolved> waiting; // resolved, not yet delivered (GUI thread only)
    int delivered = 0;
};

struct EpisodeQuery::Workers {
    std::mutex lock;
    std::condition_variable wake;
    std::shared_ptr<Run> run; // what the workers take ordinals from
    bool stopping = false;
    std::vector<std::thread> threads;
};

Text episode_number(double start, int ordinal) {
    return number_to_text(ordinal + start);
}

EpisodeQuery::EpisodeQuery(EpisodeListModel& rows, QObject* parent)
    : QObject(parent), rows_(rows), workers_(std::make_unique<Workers>()) {}

EpisodeQuery::~EpisodeQuery() {
    cancel();
    {
        std::lock_guard guard(workers_->lock);
        workers_->stopping = true;
    }
    workers_->wake.notify_all();
    for (std::thread& thread : workers_->threads)
        thread.join(); // requests under way give up within milliseconds
}

bool EpisodeQuery::running() const {
    return run_ != nullptr;
}

void EpisodeQuery::cancel() {
    if (run_)
        run_->cancelled = true;
    end_run();
}

// The workers take nothing more from the running query.
void EpisodeQuery::end_run() {
    if (!run_)
        return;
    std::lock_guard guard(workers_->lock);
    if (workers_->run == run_)
        workers_->run.reset();
    run_.reset();
}

void EpisodeQuery::start(const QueryPlan& plan) {
    cancel();
    rows_.remove_all_rows();
    if (plan.span < 1) {
        emit finished();
        return;
    }
    run_ = std::make_shared<Run>();
    run_->plan = plan;
    run_->places = std::min(parallel_, plan.span);
    {
        std::lock_guard guard(workers_->lock);
        workers_->run = run_;
        while (int(workers_->threads.size()) < run_->places)
            workers_->threads.emplace_back(work, std::ref(*workers_), this);
    }
    workers_->wake.notify_all();
}

// A worker: waits for a query with a place free, then takes the next ordinal in
// row order and resolves it, until the range is done or the query stopped.
void EpisodeQuery::work(Workers& workers, EpisodeQuery* query) {
    for (;;) {
        std::shared_ptr<Run> run;
        {
            std::unique_lock guard(workers.lock);
            workers.wake.wait(guard, [&] {
                return workers.stopping || (workers.run && workers.run->places > 0);
            });
            if (workers.stopping)
                return;
            run = workers.run;
            --run->places;
        }
        set_request_cancel_flag(&run->cancelled);
        const QueryPlan& plan = run->plan;
        while (!run->cancelled) {
            const int ordinal = run->next.fetch_add(1);
            if (ordinal > plan.span)
                break;
            Resolved resolved;
            resolved.address = resolve_episode_address(
                plan.catalogue_host, plan.book_id, plan.category, plan.title,
                episode_number(plan.start, ordinal), &resolved.reason);
            if (run->cancelled)
                break;
            QMetaObject::invokeMethod(
                query, [query, run, ordinal, resolved] { query->deliver(run, ordinal, resolved); },
                Qt::QueuedConnection);
        }
        set_request_cancel_flag(nullptr);
    }
}

void EpisodeQuery::deliver(const std::shared_ptr<Run>& run, int ordinal, const Resolved& resolved) {
    if (run != run_)
        return; // from a query that was stopped
    run->waiting.emplace(ordinal, resolved);
    for (auto first = run->waiting.begin();
         first != run->waiting.end() && first->first == run->delivered + 1;
         first = run->waiting.begin()) {
        const Resolved row = first->second;
        run->waiting.erase(first);
        ++run->delivered;
        add_row(run->plan, run->delivered, row);
        emit rowResolved(run->delivered, episode_number(run->plan.start, run->delivered),
                         row.address, row.reason);
        if (run != run_)
            return; // a handler of the row stopped or replaced this query
    }
    if (run->delivered == run->plan.span) {
        end_run();
        emit finished();
    }
}

// The row goes in at the index of its ordinal: past the end, and so appended,
// unless the list was changed meanwhile.
void EpisodeQuery::add_row(const QueryPlan& plan, int ordinal, const Resolved& resolved) {
    row_counter_ = ordinal;
    const Text number = episode_number(plan.start, ordinal);
    last_row_ = rows_.insert_row(row_counter_, gbk("第") + number + gbk("集"), plan.book);
    rows_.set_row_source(last_row_, {plan.catalogue_host, plan.book_id, plan.category, number});
    rows_.set_cell(last_row_, EpisodeListModel::address_column, resolved.address);
    rows_.set_cell(last_row_, EpisodeListModel::ordinal_column, number_to_text(ordinal));
    rows_.set_cell(last_row_, EpisodeListModel::state_column, gbk("未下载"));
    // An episode already downloaded plays from its file and is not fetched again,
    // whatever its address said.
    const Text label = rows_.cell(last_row_, EpisodeListModel::label_column);
    const auto on_disk = downloaded_file_on_disk(plan.book.save_folder, plan.book.title, label);
    if (on_disk.empty()) {
        rows_.set_state_note(last_row_, resolved.reason);
        return;
    }
    rows_.set_cell(last_row_, EpisodeListModel::address_column,
                   downloaded_file_path(plan.book.save_folder, plan.book.title, label));
    rows_.set_row_native_path(last_row_, on_disk);
    rows_.set_cell(last_row_, EpisodeListModel::state_column, gbk("已下载"));
}

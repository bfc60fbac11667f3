#include "session/episode_query.hpp"

#include "session/download_on_disk.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
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

bool not_out_yet(const Text& number, int episode_total, const Text& address) {
    return episode_total > 0 && text_to_number(number) > episode_total && !has_audio_key(address);
}

Text listed_text(const EpisodeList& episodes) {
    const auto& rows = episodes.episodes();
    const auto not_out = std::count_if(rows.begin(), rows.end(), [](const Episode& e) {
        return e.state == DownloadState::not_out;
    });
    Text text = gbk("已列出 ") + number_to_text(double(rows.size())) + gbk(" 集");
    if (not_out > 0)
        text += gbk("，") + number_to_text(double(not_out)) + gbk(" 集尚未上线");
    return text;
}

EpisodeQuery::EpisodeQuery(EpisodeList& episodes, QObject* parent)
    : QObject(parent), episodes_(episodes), workers_(std::make_unique<Workers>()) {}

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
    episodes_.clear();
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
        emit rowResolved(add_row(run->plan, run->delivered, row));
        if (run != run_)
            return; // a handler of the row stopped or replaced this query
    }
    if (run->delivered == run->plan.span) {
        end_run();
        emit finished();
    }
}

// The episode goes in at the end. One already downloaded plays from its file
// and is not fetched again, whatever its address said; one cut short goes on
// from its partial file.
EpisodeId EpisodeQuery::add_row(const QueryPlan& plan, int ordinal, const Resolved& resolved) {
    row_counter_ = ordinal;
    Episode episode;
    episode.ordinal = ordinal;
    episode.number = episode_number(plan.start, ordinal);
    episode.label = gbk("第") + episode.number + gbk("集");
    episode.book = plan.book;
    episode.source = {plan.catalogue_host, plan.book_id, plan.category, episode.number};
    episode.remote = resolved.address;
    episode.reason = resolved.reason;
    if (find_downloaded_file(episode) || find_partial_download(episode)) {
        // on disk, or waiting in its partial file for the next run
    } else if (not_out_yet(episode.number, plan.episode_total, episode.remote)) {
        episode.state = DownloadState::not_out;
        episode.reason.clear();
    }
    last_row_ = episodes_.size();
    return episodes_.append(std::move(episode));
}

#include "catalogue/episode_query.hpp"

#include "catalogue/episode_address.hpp"
#include "http/web_access.hpp"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <map>

struct EpisodeQuery::Run {
    QueryPlan plan;
    std::atomic<int> next{1}; // the ordinal the next free worker takes
    std::atomic<bool> cancelled{false};
    std::map<int, Text> waiting; // resolved, not yet delivered (GUI thread only)
    int delivered = 0;
};

Text episode_number(double start, int ordinal) {
    return number_to_text(ordinal + start);
}

EpisodeQuery::EpisodeQuery(QObject* parent) : QObject(parent) {}

EpisodeQuery::~EpisodeQuery() {
    cancel();
    join_workers();
}

bool EpisodeQuery::running() const {
    return run_ != nullptr;
}

void EpisodeQuery::cancel() {
    if (run_)
        run_->cancelled = true;
    run_.reset();
}

void EpisodeQuery::join_workers() {
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
}

void EpisodeQuery::start(const QueryPlan& plan) {
    cancel();
    join_workers(); // cancelled requests give up within milliseconds
    if (plan.span < 1) {
        emit finished();
        return;
    }
    run_ = std::make_shared<Run>();
    run_->plan = plan;
    const int count = std::min(parallel_, plan.span);
    for (int i = 0; i < count; ++i)
        workers_.emplace_back(work, run_, this);
}

// A worker: takes the next ordinal in row order and resolves it, until the range
// is done or the query stopped.
void EpisodeQuery::work(const std::shared_ptr<Run>& run, EpisodeQuery* query) {
    set_request_cancel_flag(&run->cancelled);
    const QueryPlan& plan = run->plan;
    for (;;) {
        if (run->cancelled)
            break;
        const int ordinal = run->next.fetch_add(1);
        if (ordinal > plan.span)
            break;
        const Text address =
            resolve_episode_address(plan.catalogue_host, plan.book_id, plan.category, plan.title,
                                    episode_number(plan.start, ordinal));
        if (run->cancelled)
            break;
        QMetaObject::invokeMethod(
            query, [query, run, ordinal, address] { query->deliver(run, ordinal, address); },
            Qt::QueuedConnection);
    }
    set_request_cancel_flag(nullptr);
}

void EpisodeQuery::deliver(const std::shared_ptr<Run>& run, int ordinal, const Text& address) {
    if (run != run_)
        return; // from a query that was stopped
    run->waiting.emplace(ordinal, address);
    for (auto first = run->waiting.begin();
         first != run->waiting.end() && first->first == run->delivered + 1;
         first = run->waiting.begin()) {
        const Text resolved = first->second;
        run->waiting.erase(first);
        ++run->delivered;
        emit rowResolved(run->delivered, episode_number(run->plan.start, run->delivered), resolved);
        if (run != run_)
            return; // a handler of the row stopped or replaced this query
    }
    if (run->delivered == run->plan.span) {
        run_.reset();
        emit finished();
    }
}

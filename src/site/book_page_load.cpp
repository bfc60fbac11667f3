#include "site/book_page_load.hpp"

#include <QMetaObject>

#include <atomic>
#include <thread>

struct BookPageLoad::Worker {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::thread thread;
};

BookPageLoad::BookPageLoad(QObject* parent) : QObject(parent) {}

BookPageLoad::~BookPageLoad() {
    cancel();
    for (const auto& worker : workers_)
        worker->thread.join(); // cancelled requests give up within milliseconds
}

void BookPageLoad::start(const Text& address) {
    cancel();
    loading_ = true;
    cover_asked_ = false;
    const std::uint64_t generation = generation_;
    run([this, address, generation] {
        AccessReport report;
        const Text page = bytes_to_text(web_access_reported(address, report));
        QMetaObject::invokeMethod(
            this,
            [this, generation, address, page, report] {
                if (generation != generation_)
                    return;
                emit pageArrived(address, page, report);
                if (generation == generation_ && !cover_asked_)
                    end_load();
            },
            Qt::QueuedConnection);
    });
}

void BookPageLoad::fetch_cover(const Text& cover_address) {
    if (!loading_ || cover_asked_)
        return;
    cover_asked_ = true;
    const std::uint64_t generation = generation_;
    run([this, cover_address, generation] {
        const Bytes cover = web_access(cover_address);
        QMetaObject::invokeMethod(
            this,
            [this, generation, cover] {
                if (generation != generation_)
                    return;
                emit coverArrived(cover);
                if (generation == generation_)
                    end_load();
            },
            Qt::QueuedConnection);
    });
}

void BookPageLoad::cancel() {
    ++generation_;
    loading_ = false;
    for (const auto& worker : workers_)
        worker->cancelled = true;
}

void BookPageLoad::end_load() {
    loading_ = false;
    emit finished();
}

// Each fetch runs on a thread of its own with its own cancel flag; threads that
// have ended are joined when the next one starts.
void BookPageLoad::run(std::function<void()> fetch) {
    reap();
    auto worker = std::make_shared<Worker>();
    worker->thread = std::thread([worker, fetch = std::move(fetch)] {
        set_request_cancel_flag(&worker->cancelled);
        if (!worker->cancelled)
            fetch();
        set_request_cancel_flag(nullptr);
        worker->done = true;
    });
    workers_.push_back(std::move(worker));
}

void BookPageLoad::reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

#pragma once
// Loading a book's play page, then its cover, on workers, so that the window
// answers meanwhile. A new load replaces the one under way: the older one's
// requests give up at once and its results are dropped. Cancelling, and
// destroying the object, do the same.
#include "http/web_access.hpp"
#include "text/text.hpp"

#include <QObject>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>

class BookPageLoad : public QObject {
    Q_OBJECT
  public:
    explicit BookPageLoad(QObject* parent = nullptr);
    ~BookPageLoad() override; // stops the requests and waits for their workers
    BookPageLoad(const BookPageLoad&) = delete;
    BookPageLoad& operator=(const BookPageLoad&) = delete;

    // Fetches the page at the address; pageArrived follows.
    void start(const Text& address);
    // From a handler of pageArrived: fetches the cover of the book the page
    // named; coverArrived follows. Does nothing when no load is under way.
    void fetch_cover(const Text& cover_address);
    // Drops the load under way; no signal of it comes any more.
    void cancel();
    // From start until finished.
    bool loading() const { return loading_; }

  signals:
    // The page as text (empty on any failure) and what the request gave.
    void pageArrived(const Text& address, const Text& page_text, const AccessReport& report);
    // The cover's bytes, empty when it could not be fetched.
    void coverArrived(const Bytes& cover);
    // After the last signal of a load that was not replaced.
    void finished();

  private:
    struct Worker;
    void run(std::function<void()> fetch);
    void reap();
    void end_load();

    std::uint64_t generation_ = 0; // the load under way
    bool loading_ = false;
    bool cover_asked_ = false;
    std::list<std::shared_ptr<Worker>> workers_;
};

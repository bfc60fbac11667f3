#pragma once
// The query behind the query button: it fills the episode rows, one per episode
// of a range, each with its audio address from the player script. A few requests are under
// way at once on workers; the rows still come strictly in order, each as soon
// as it and every row above it are resolved. The workers stay from one query to
// the next, each keeping its connection to the Catalogue site.
#include "session/episode_list.hpp"
#include "text/text.hpp"

#include <QObject>

#include <memory>

// What a query resolves against, fixed when it starts: the Catalogue host and
// the fields of the book loaded then, the start value and the span.
struct QueryPlan {
    Text catalogue_host;
    Text book_id;
    Text category;
    Text title;
    double start = 0;
    int span = 0;
    // The book the episodes belong to: where they are downloaded.
    EpisodeBook book;
    // The book's episode total as its page said (0: unknown): an episode past
    // it that the site gives no key for is not out yet.
    int episode_total = 0;
};

// The episode number of the row with ordinal i (from 1): i + the start value.
Text episode_number(double start, int ordinal);

// An episode past the book's total (known when above 0) that the site gave no
// key for: listed, since a serial book grows, but not out yet.
bool not_out_yet(const Text& number, int episode_total, const Text& address);

// What the query says once it is done: "已列出 5 集", and how many of them are
// not out yet ("已列出 5 集，5 集尚未上线").
Text listed_text(const EpisodeList& episodes);

class EpisodeQuery : public QObject {
    Q_OBJECT
  public:
    // Player-script requests under way at once (4 unless changed; 1 resolves
    // one row after another).
    void set_parallel_requests(int count) { parallel_ = count < 1 ? 1 : count; }

    explicit EpisodeQuery(EpisodeList& episodes, QObject* parent = nullptr);
    ~EpisodeQuery() override; // stops and waits for the workers
    EpisodeQuery(const EpisodeQuery&) = delete;
    EpisodeQuery& operator=(const EpisodeQuery&) = delete;

    // Starts a query, stopping a running one first, and empties the list. With a
    // span below 1 it finishes at once, with no episode.
    void start(const QueryPlan& plan);
    // Stops at once: no further row, no further request; the requests under way
    // give up.
    void cancel();
    bool running() const;

    // The ordinal of the row built last, and the index it went in at.
    int row_counter() const { return row_counter_; }
    int last_row() const { return last_row_; }

  signals:
    // After the episode with ordinal 1, 2, ... went in (in that order) with its
    // address; connect directly (same thread).
    void rowResolved(EpisodeId id);
    void finished();

  private:
    struct Run;
    struct Workers;
    static void work(Workers& workers, EpisodeQuery* query);
    struct Resolved {
        Text address;
        Text reason;
    };
    void deliver(const std::shared_ptr<Run>& run, int ordinal, const Resolved& resolved);
    void end_run();
    EpisodeId add_row(const QueryPlan& plan, int ordinal, const Resolved& resolved);

    EpisodeList& episodes_;
    int row_counter_ = 0;
    int last_row_ = 0;
    int parallel_ = 4;
    std::shared_ptr<Run> run_; // the running query, null when none
    std::unique_ptr<Workers> workers_;
};

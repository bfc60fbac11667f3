#pragma once
// Checks the followed books in the background, one after another: each book's
// page is loaded with the same limits as any page load, and when its total has
// grown past what was seen last, the new episodes are listed and downloaded
// into the book's folder on a list of their own, so nothing the user sees
// changes. Episodes on disk already are not fetched again. The pages of the
// next few books are asked for while one book is checked. The user's own run
// goes first: while it runs, the check's downloads wait.
#include "session/download_sequence.hpp"
#include "session/episode_list.hpp"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>

class PageLookAhead;
class EpisodeLanding;
class EpisodeQuery;
class FollowedBooks;
struct AccessReport;

class FollowCheck : public QObject {
    Q_OBJECT
  public:
    explicit FollowCheck(FollowedBooks& books, QObject* parent = nullptr);
    ~FollowCheck() override;

    // Checks every followed book, unless a check is under way or the gate,
    // when set, says not now (another program is writing the same files).
    void check_all();
    // Checks one followed book now, or after the book under check.
    void check_book(const Text& title);
    // The page of a followed book was loaded anyway: it is the book's check,
    // without loading it again (unless another book is under check).
    void check_page(const Text& title, const Text& address, const Text& page_text);
    void set_gate(std::function<bool()> may_check) { gate_ = std::move(may_check); }
    bool checking() const { return !current_.empty(); }
    // The book under check now, or an empty text.
    const Text& checking_book() const { return current_; }
    // Whether the user's own download run is under way.
    void set_user_run(bool running);
    // Stops at once; what arrived in part waits in its partial file.
    void cancel();
    // What the episodes get as they land; each book's page tells it the book.
    void set_landing(EpisodeLanding* landing);

  signals:
    // `count` new episodes of the book arrived.
    void episodesArrived(const Text& title, int count);
    // A book's total or trouble changed (and was saved).
    void bookChecked(const Text& title);
    void finished();

  private:
    void next_book();
    void wait_for_turn(const Text& title);
    void on_page(const Text& address, const Text& page_text, const AccessReport& report);
    void on_listed();
    void on_run_ended(int arrived, int failed);
    void done_with_book(const Text& trouble, int total);

    FollowedBooks& books_;
    std::unique_ptr<PageLookAhead> load_; // the next books' pages come ahead of their turn
    EpisodeList episodes_;
    std::unique_ptr<EpisodeQuery> query_;
    DownloadSequence downloads_{episodes_};
    std::deque<Text> waiting_; // titles still to check
    Text current_;             // the book under check
    int total_ = 0;            // its total on the page
    bool user_run_ = false;
    bool listed_ = false;      // its new episodes are listed
    bool held_ = false;        // its downloads wait for the user's run
    std::function<bool()> gate_;
    EpisodeLanding* landing_ = nullptr;
};

#include "session/follow_check.hpp"

#include "http/web_access.hpp"
#include "session/book_tagging.hpp"
#include "session/episode_query.hpp"
#include "session/followed_books.hpp"
#include "settings/config_file.hpp"
#include "site/book_page.hpp"
#include "session/page_look_ahead.hpp"
#include "text/gbk.hpp"

#include <algorithm>
#include <QDateTime>

FollowCheck::FollowCheck(FollowedBooks& books, QObject* parent)
    : QObject(parent), books_(books), load_(std::make_unique<PageLookAhead>()),
      query_(std::make_unique<EpisodeQuery>(episodes_)) {
    EpisodeRequest options;
    options.user_agent = program_user_agent();
    downloads_.set_transfer_options(options);
    downloads_.set_double_press_interval(std::chrono::milliseconds(0));
    connect(load_.get(), &PageLookAhead::pageArrived, this,
            [this](const Text& address, const Text& page_text, const AccessReport& report) {
                on_page(address, page_text, report);
            });
    connect(query_.get(), &EpisodeQuery::finished, this, [this] { on_listed(); });
    connect(&downloads_, &DownloadSequence::runEnded, this,
            [this](int arrived, int failed) { on_run_ended(arrived, failed); });
}

FollowCheck::~FollowCheck() {
    cancel();
}

void FollowCheck::check_all() {
    if (checking() || (gate_ && !gate_()))
        return;
    waiting_.clear();
    std::vector<Text> pages;
    for (const FollowedBook& book : books_.books()) {
        waiting_.push_back(book.title);
        pages.push_back(book.address);
    }
    load_->expect(pages);
    next_book();
}

void FollowCheck::check_book(const Text& title) {
    if (!books_.find(title) || (gate_ && !gate_()))
        return;
    wait_for_turn(title);
    if (!checking())
        next_book();
}

void FollowCheck::check_page(const Text& title, const Text& address, const Text& page_text) {
    if (!books_.find(title) || (gate_ && !gate_()))
        return;
    if (checking()) {
        wait_for_turn(title);
        return;
    }
    std::erase(waiting_, title);
    current_ = title;
    listed_ = held_ = false;
    on_page(address, page_text, AccessReport{AccessFailure::none, 200});
}

// A book under check now is not checked again after itself.
void FollowCheck::wait_for_turn(const Text& title) {
    if (title != current_ && std::find(waiting_.begin(), waiting_.end(), title) == waiting_.end())
        waiting_.push_back(title);
}

void FollowCheck::cancel() {
    waiting_.clear();
    current_.clear();
    load_->cancel();
    query_->cancel();
    downloads_.abort();
}

// The user's run starts: the check's downloads pause and go on after it.
void FollowCheck::set_user_run(bool running) {
    user_run_ = running;
    if (running && downloads_.running()) {
        downloads_.press();
        held_ = true;
    } else if (!running && held_ && listed_) {
        held_ = false;
        downloads_.press();
    }
}

void FollowCheck::set_landing(EpisodeLanding* landing) {
    landing_ = landing;
    downloads_.set_landing(landing);
}

void FollowCheck::next_book() {
    current_.clear();
    listed_ = held_ = false;
    while (!waiting_.empty() && current_.empty()) {
        const Text title = waiting_.front();
        waiting_.pop_front();
        if (const FollowedBook* book = books_.find(title)) {
            current_ = title;
            load_->ask(book->address);
        }
    }
    if (current_.empty())
        emit finished();
}

void FollowCheck::on_page(const Text& address, const Text& page_text, const AccessReport& report) {
    const FollowedBook* book = books_.find(current_);
    const BookInfo info = page_text.empty() ? BookInfo{} : cut_book_info(address, page_text);
    if (!book || info.title.empty() || info.episode_total.empty()) {
        Text why = gbk("检查失败");
        if (report.status != 0)
            why += gbk("（HTTP ") + number_to_text(double(report.status)) + gbk("）");
        done_with_book(why, 0);
        return;
    }
    if (landing_)
        landing_->know_book(book_details(info));
    total_ = int(text_to_number(info.episode_total));
    if (total_ <= book->total_seen) {
        done_with_book({}, book->total_seen);
        return;
    }
    QueryPlan plan;
    plan.catalogue_host = catalogue_host(address);
    plan.book_id = info.book_id;
    plan.category = info.category;
    plan.title = info.title;
    plan.start = book->total_seen;
    plan.span = total_ - book->total_seen;
    plan.book = {book->title, book->save_folder};
    query_->start(plan);
}

void FollowCheck::on_listed() {
    listed_ = true;
    if (user_run_) {
        held_ = true;
        return;
    }
    downloads_.set_parallel_downloads(read_parallel_downloads());
    downloads_.query_filled(true);
    downloads_.press();
}

// Every new episode on disk: the total is seen. Otherwise the next check
// tries the rest again.
void FollowCheck::on_run_ended(int arrived, int failed) {
    if (current_.empty())
        return;
    if (arrived > 0)
        emit episodesArrived(current_, arrived);
    const FollowedBook* book = books_.find(current_);
    if (failed == 0)
        done_with_book({}, total_);
    else
        done_with_book(number_to_text(failed) + gbk(" 集未能下载"), book ? book->total_seen : 0);
}

void FollowCheck::done_with_book(const Text& trouble, int total) {
    const Text title = current_;
    books_.set_trouble(title, trouble);
    books_.set_last_checked(title, QDateTime::currentSecsSinceEpoch());
    if (total > 0)
        books_.set_total_seen(title, total);
    books_.save();
    emit bookChecked(title);
    next_book();
}

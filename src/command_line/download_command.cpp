#include "session/book_tagging.hpp"
#include "command_line/download_command.hpp"

#include "command_line/terminal_output.hpp"
#include "http/web_access.hpp"
#include "session/download_sequence.hpp"
#include "session/episode_query.hpp"
#include "settings/config_file.hpp"
#include "site/book_page.hpp"
#include "site/book_page_load.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <cmath>

namespace {

constexpr qint64 progress_interval_ms = 200;

Text percent_text(double fraction) {
    return number_to_text(std::floor(std::clamp(fraction, 0.0, 1.0) * 100)) + "%";
}

} // namespace

DownloadRange download_range(const CommandOptions& options) {
    DownloadRange range;
    if (const Text start = trim_spaces(read_setting(gbk("显示与下载开始集数"))); !start.empty())
        range.start = text_to_number(start);
    if (const Text span = trim_spaces(read_setting(gbk("默认显示集数"))); !span.empty()) {
        const double value = std::trunc(text_to_number(span));
        range.count = value >= 1 && value <= 100000 ? int(value) : range.count;
    }
    if (options.from)
        range.start = *options.from - 1;
    if (options.count)
        range.count = *options.count;
    range.save_folder = options.to.isEmpty() ? read_setting(gbk("默认保存路径")) : from_qstring(options.to);
    range.jobs = options.jobs ? *options.jobs : read_parallel_downloads();
    return range;
}

CommandOutcome page_failure(const Text& address, const Text& page_text, const AccessReport& report) {
    CommandOutcome outcome;
    if (!page_text.empty()) {
        outcome.exit_code = exit_codes::bad_arguments;
        Text why = gbk("这个网页不是本网站的播放页");
        if (report.status != 200)
            why += gbk("（HTTP ") + number_to_text(double(report.status)) + gbk("）");
        outcome.errors.push_back(why + gbk("：") + address);
        return outcome;
    }
    outcome.exit_code = exit_codes::some_failed;
    Text why;
    switch (report.failure) {
    case AccessFailure::bad_address:
        outcome.exit_code = exit_codes::bad_arguments;
        why = gbk("这不是一个能打开的网址");
        break;
    case AccessFailure::cannot_connect:
        why = gbk("无法连接到服务器");
        break;
    case AccessFailure::timed_out:
        why = gbk("服务器长时间没有回应");
        break;
    case AccessFailure::too_large:
        outcome.exit_code = exit_codes::bad_arguments;
        why = gbk("网页太大，不是书的播放页");
        break;
    case AccessFailure::none:
        why = gbk("服务器回答了一个空白页（HTTP ") + number_to_text(double(report.status)) + gbk("）");
        break;
    default:
        why = gbk("没能载入书页");
        break;
    }
    outcome.errors.push_back(why + gbk("：") + address);
    return outcome;
}

DownloadCommand::DownloadCommand(const CommandOptions& options, TerminalOutput& output, QObject* parent)
    : Command(parent), options_(options), range_(download_range(options)), output_(output),
      load_(std::make_unique<BookPageLoad>()), query_(std::make_unique<EpisodeQuery>(episodes_)),
      downloads_(std::make_unique<DownloadSequence>(episodes_)) {
    EpisodeRequest request;
    request.user_agent = program_user_agent();
    downloads_->set_transfer_options(request);
    downloads_->set_double_press_interval(std::chrono::milliseconds(0));
    downloads_->set_parallel_downloads(range_.jobs);
    downloads_->set_landing(&landing_);
    feed_landing(*load_, landing_);
    connect(load_.get(), &BookPageLoad::pageArrived, this,
            [this](const Text& address, const Text& page_text, const AccessReport& report) {
                on_page(address, page_text, report);
            });
    connect(load_.get(), &BookPageLoad::coverArrived, this, [this] {
        if (!done_)
            start_query(); // with the cover or without it, the episodes come next
    });
    connect(query_.get(), &EpisodeQuery::rowResolved, this, [this](EpisodeId id) { on_row(id); });
    connect(query_.get(), &EpisodeQuery::finished, this, [this] { on_listed(); });
    connect(&episodes_, &EpisodeList::changed, this, [this](int index) { on_changed(index); });
    connect(downloads_.get(), &DownloadSequence::runChanged, this, [this] { show_progress(); });
    connect(downloads_.get(), &DownloadSequence::runEnded, this, [this] { finish(); });
}

DownloadCommand::~DownloadCommand() = default;

void DownloadCommand::start() {
    output_.detail(gbk("正在载入书页 ") + from_qstring(options_.operand));
    load_->start(from_qstring(options_.operand));
}

void DownloadCommand::on_page(const Text& address, const Text& page_text, const AccessReport& report) {
    book_ = page_text.empty() ? BookInfo{} : cut_book_info(address, page_text);
    if (book_.title.empty()) {
        done_ = true;
        emit finished(page_failure(address, page_text, report));
        return;
    }
    output_.detail(gbk("《") + book_.title + gbk("》共 ") + book_.episode_total + gbk(" 集，下载第 ") +
                   number_to_text(range_.start + 1) + gbk(" 集起的 ") + number_to_text(range_.count) +
                   gbk(" 集"));
    QueryPlan plan;
    plan.catalogue_host = catalogue_host(address);
    plan.book_id = book_.book_id;
    plan.category = book_.category;
    plan.title = book_.title;
    plan.start = range_.start;
    plan.span = range_.count;
    plan.book = {book_.title, range_.save_folder};
    plan_ = plan;
    // The episodes' tags carry the cover: it comes first, as in the window.
    if (read_tag_writing() && !book_.cover_address.empty()) {
        load_->fetch_cover(book_.cover_address);
        return;
    }
    start_query();
}

void DownloadCommand::start_query() {
    downloads_->set_rows_pending(true);
    query_->start(plan_);
}

// The run starts with the first episode listed and takes the others as the
// query lists them, as a press of the window's button while its query runs.
void DownloadCommand::on_row(EpisodeId) {
    downloads_->rows_added();
    if (pressed_)
        return;
    pressed_ = true;
    downloads_->query_filled(true);
    downloads_->press();
}

void DownloadCommand::on_listed() {
    downloads_->set_rows_pending(false);
    if (!pressed_)
        finish(); // nothing was listed
}

// Off a terminal, one line per episode that lands or fails.
void DownloadCommand::on_changed(int index) {
    const Episode* episode = episodes_.at(index);
    if (!episode || output_.progress_in_place())
        return;
    if (episode->state == DownloadState::downloaded || episode->state == DownloadState::failed ||
        episode->state == DownloadState::no_key)
        output_.note(episode_outcome_line(*episode));
}

// "第37集 2/10 · 14% · 1.2 MB/s · 剩余 0:42"
void DownloadCommand::show_progress() {
    if (!output_.progress_in_place() || done_)
        return;
    if (since_progress_.isValid() && since_progress_.elapsed() < progress_interval_ms)
        return;
    since_progress_.start();
    int ended = 0;
    double parts = 0;
    Text under_way;
    for (const Episode& e : episodes_.episodes()) {
        if (e.on_disk() || e.state == DownloadState::failed || e.state == DownloadState::no_key) {
            ++ended;
            parts += 1;
        } else if (e.state == DownloadState::downloading || e.state == DownloadState::retrying) {
            if (under_way.empty())
                under_way = e.label;
            if (e.total > 0)
                parts += double(e.received) / double(e.total);
        }
    }
    const RunProgress& run = downloads_->run();
    const Text dot = gbk(" · ");
    Text line = (under_way.empty() ? Text() : under_way + " ") +
                number_to_text(std::min(ended + 1, range_.count)) + "/" + number_to_text(range_.count) +
                gbk(" 集") + dot + percent_text(parts / std::max(1, range_.count)) + dot +
                speed_text(run.bytes_per_second());
    if (const double left = run.seconds_left(); left >= 0)
        line += dot + gbk("剩余 ") + duration_text(left);
    output_.progress(line);
}

void DownloadCommand::stop() {
    if (done_)
        return;
    done_ = true;
    load_->cancel();
    query_->cancel();
    downloads_->abort(); // the partial files stay for the next run
    output_.end_progress();
    CommandOutcome outcome;
    outcome.exit_code = exit_codes::stopped;
    outcome.errors.push_back(gbk("已中断；已下载的部分留待下次继续"));
    emit finished(outcome);
}

void DownloadCommand::finish() {
    if (done_)
        return;
    done_ = true;
    output_.end_progress();
    emit finished(run_outcome(book_.title, episodes_, false));
}

#include "session/book_session.hpp"

#include "http/web_access.hpp"
#include "listening/listening_session.hpp"
#include "mpris/mpris_service.hpp"
#include "notify/desktop_notice.hpp"
#include "playback/listening_control.hpp"
#include "playback/listening_resume.hpp"
#include "playback/player.hpp"
#include "session/episode_query.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "site/book_page.hpp"
#include "site/book_page_load.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "files/files.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QTimer>

#include <climits>
#include <cmath>

namespace fs = std::filesystem;

namespace {

// The second line of a failed load's message: why no page came.
Text why_no_page(const Text& address, const AccessReport& report) {
    if (address.empty())
        return gbk("网址栏是空的。");
    switch (report.failure) {
    case AccessFailure::none:
        break;
    case AccessFailure::bad_address:
        return gbk("这不是一个能打开的网址。");
    case AccessFailure::cannot_connect:
        return gbk("无法连接到服务器。");
    case AccessFailure::timed_out:
        return gbk("服务器长时间没有回应。");
    case AccessFailure::too_slow:
        return gbk("服务器传送得太慢。");
    case AccessFailure::too_large:
        return gbk("网页太大，不是书的播放页。");
    case AccessFailure::too_many_redirects:
        return gbk("网页转向的次数太多。");
    case AccessFailure::cancelled:
    case AccessFailure::broken:
        return gbk("连接中断了。");
    }
    return gbk("服务器回答了一个空白页（HTTP ") + number_to_text(double(report.status)) + "）。";
}

Text why_no_title(const AccessReport& report) {
    Text why = gbk("这个网页不是本网站的播放页");
    if (report.status != 200)
        why += gbk("（HTTP ") + number_to_text(double(report.status)) + gbk("）");
    return why + gbk("。");
}

// The span box's value rounded toward zero; 0 for anything that is not a
// positive number.
int span_value(const Text& text) {
    const double value = std::trunc(text_to_number(text));
    if (!(value >= 1))
        return 0;
    return value >= double(INT_MAX) ? INT_MAX : int(value);
}

bool is_local_file(const Text& episode) {
    std::error_code error;
    return !episode.empty() && !is_web_address(episode) &&
           fs::is_regular_file(native_path(episode), error);
}

} // namespace

BookSession::BookSession(QObject* parent)
    : QObject(parent), player_(std::make_unique<Player>()),
      book_load_(std::make_unique<BookPageLoad>()),
      query_(std::make_unique<EpisodeQuery>(episodes_)),
      downloads_(std::make_unique<DownloadSequence>(episodes_)) {
    const fs::path positions = listening_positions_file();
    listening_control_ = std::make_unique<ListeningControl>(
        *player_, std::make_unique<ListeningSession>(positions.parent_path() / fs::path(u8"收听设置.ini")));
    new ListeningResume(*player_, positions, listening_control_.get());
    bind_load();
    bind_downloads();
    bind_playback();
}

BookSession::~BookSession() {
    close();
    downloads_.reset();
    query_.reset();
    book_load_.reset();
    listening_control_.reset(); // saves where listening stopped
    player_.reset();
}

ListeningSession& BookSession::listening() {
    return listening_control_->session();
}

void BookSession::offer_media_controls(SessionHooks hooks) {
    hooks_ = std::move(hooks);
    MprisHooks mpris;
    mpris.next = [this] { next(); };
    mpris.previous = [this] { previous(); };
    mpris.play = [this] { continue_listening(); };
    mpris.raise = [this] {
        if (hooks_.raise)
            hooks_.raise();
    };
    mpris.track = [this] {
        const Episode* episode = episodes_.find(playing());
        if (!episode)
            return MprisTrack{};
        return MprisTrack{episode->id, episode->label, episode->book.title,
                          covers_.file(episode->book.title)};
    };
    new MprisService(*listening_control_, std::move(mpris), listening_control_.get());
}

void BookSession::start() {
    reread_save_folder();
    restore_last_list();
}

void BookSession::reread_save_folder() {
    startup_save_folder_ = read_setting(gbk("默认保存路径"));
    list_book_folders();
}

bool BookSession::loading() const {
    return book_load_->loading();
}

bool BookSession::querying() const {
    return query_->running();
}

bool BookSession::downloading() const {
    return downloads_->running();
}

EpisodeId BookSession::playing() const {
    return episodes_.index_of(opened_) < 0 ? 0 : opened_;
}

// The book page ------------------------------------------------------------

void BookSession::bind_load() {
    connect(book_load_.get(), &BookPageLoad::pageArrived, this,
            [this](const Text& address, const Text& page_text, const AccessReport& report) {
                on_page(address, page_text, report);
            });
    connect(book_load_.get(), &BookPageLoad::coverArrived, this,
            [this](const Bytes& cover) { emit coverArrived(cover); });
}

void BookSession::load(const Text& address) {
    book_load_->start(address);
}

void BookSession::cancel_load() {
    book_load_->cancel();
}

// The fields of a page without a title are kept all the same; the book shown
// stays as it was.
void BookSession::on_page(const Text& address, const Text& page_text, const AccessReport& report) {
    book_.page_text = page_text;
    if (page_text.empty() || address.empty()) {
        emit loadFailed(gbk("请输入网址！"), why_no_page(address, report));
        return;
    }
    book_ = cut_book_info(address, page_text);
    book_host_ = catalogue_host(address);
    if (book_.title.empty()) {
        emit loadFailed(gbk("请核对网址是否正确！"), why_no_title(report));
        return;
    }
    emit bookShown();
    book_load_->fetch_cover(book_.cover_address);
}

void BookSession::cover_shown(const Bytes& picture) {
    covers_.keep(book_.title, picture);
}

// The query and the downloads ----------------------------------------------

void BookSession::bind_downloads() {
    EpisodeRequest options;
    options.user_agent = program_user_agent();
    downloads_->set_transfer_options(options);
    connect(downloads_.get(), &DownloadSequence::buttonChanged, this, [this] {
        emit downloadButtonChanged(downloads_->offer(), downloads_->enabled());
    });
    connect(downloads_.get(), &DownloadSequence::runChanged, this, &BookSession::runChanged);
    connect(downloads_.get(), &DownloadSequence::runEnded, this, [this](int arrived, int failed) {
        emit runEnded(arrived, failed);
        tell_run_ended(arrived, failed);
    });
    connect(downloads_.get(), &DownloadSequence::stoppedForDisk, this, &BookSession::diskFull);
    connect(query_.get(), &EpisodeQuery::rowResolved, this, [this] { downloads_->rows_added(); });
    connect(query_.get(), &EpisodeQuery::finished, this, [this] {
        downloads_->set_rows_pending(false);
        const Episode* first = episodes_.at(0);
        downloads_->query_filled(first && !first->address().empty());
        emit queryFinished();
    });
}

void BookSession::query(const Text& address, const Text& start, const Text& span) {
    write_setting(gbk("默认网址"), address);
    QueryPlan plan;
    // The episodes belong to the book loaded now, on the host it was loaded from.
    plan.catalogue_host = book_host_.empty() ? catalogue_host(address) : book_host_;
    plan.book_id = book_.book_id;
    plan.category = book_.category;
    plan.title = book_.title;
    plan.start = text_to_number(start);
    plan.span = span_value(span);
    plan.book = {book_.title, startup_save_folder_};
    stop_query();
    downloads_->set_rows_pending(plan.span >= 1);
    query_->start(plan);
}

void BookSession::stop_query() {
    query_->cancel();
    downloads_->set_rows_pending(false);
}

void BookSession::press_download() {
    downloads_->set_parallel_downloads(read_parallel_downloads());
    downloads_->press();
}

// The desktop is told when a run ends while the user looks elsewhere.
void BookSession::tell_run_ended(int arrived, int failed) {
    if (!hooks_.in_front || hooks_.in_front())
        return;
    Text body = gbk("已下载 ") + number_to_text(double(arrived)) + gbk(" 集");
    if (failed > 0)
        body += gbk("，失败 ") + number_to_text(double(failed)) + gbk(" 集");
    send_desktop_notice(to_qstring(gbk("下载结束")), to_qstring(body));
}

// The book folders ---------------------------------------------------------

void BookSession::list_book_folders() {
    folders_ = ::list_book_folders(effective_save_folder(startup_save_folder_),
                                   [this](const Text& file) { return listening().heard(file); });
    emit foldersChanged();
}

// The save folder is read afresh: the settings window may have changed it.
void BookSession::open_book_folder(int index) {
    if (index < 0 || index >= int(folders_.size()))
        return;
    const BookFolder chosen = folders_[std::size_t(index)];
    stop_query(); // the list now shows the folder's files
    episodes_.clear();
    const Text save = effective_save_folder(read_setting(gbk("默认保存路径")));
    const Text folder = join_path(save, chosen.name);
    int k = 1;
    for (const FolderEntry& file : list_files_in(native_path(save) / chosen.native, ".mp3")) {
        Episode episode;
        episode.label = gbk("第") + number_to_text(k++) + gbk("集");
        episode.book = {chosen.name, save};
        episode.local = join_path(folder, file.name);
        episode.file = file.native;
        episode.state = DownloadState::downloaded;
        episode.heard = heard(episode);
        episodes_.append(std::move(episode));
    }
}

// Playback and listening ---------------------------------------------------

void BookSession::bind_playback() {
    player_->setAutoStart(true);
    connect(player_.get(), &Player::OpenStateChange, this, [this](int state) {
        if (!queue_.closed())
            player_->controls().play();
        if (state == Player::MediaChanging)
            on_episode_opening();
    });
    connect(player_.get(), &Player::PlayStateChange, this, [this](int state) {
        show_marks();
        if (state == Player::Stopped)
            queue_move_on();
    });
    connect(listening_control_.get(), &ListeningControl::episode_heard, this,
            [this] { on_episode_heard(); });
    // New episodes show their marks, and follow a stopped player's queue at once.
    connect(&episodes_, &EpisodeList::inserted, this, [this](int first, int last) {
        for (int index = first; index <= last; ++index)
            episodes_.update(episodes_.id_at(index), [this](Episode& e) { e.heard = heard(e); });
        queue_move_on();
    });
}

void BookSession::play(EpisodeId id) {
    const Episode* episode = episodes_.find(id);
    if (queue_.closed() || !episode)
        return;
    queue_.set_current(id);
    opened_ = id;
    player_->setURL(episode->address(), episode->file);
}

void BookSession::continue_listening() {
    if (!player_->URL().empty()) {
        player_->toggle_play_pause();
        return;
    }
    play(queue_.current());
}

void BookSession::next() {
    if (const EpisodeId id = queue_.next()) {
        emit currentChanged(id);
        play(id);
    }
}

void BookSession::previous() {
    if (const EpisodeId id = queue_.previous()) {
        emit currentChanged(id);
        play(id);
    }
}

// Once control is back in the event loop, so that a run of episodes that cannot
// play moves on one at a time.
void BookSession::queue_move_on() {
    if (move_queued_)
        return;
    move_queued_ = true;
    QTimer::singleShot(0, this, [this] {
        move_queued_ = false;
        move_on();
    });
}

// A stopped player moves on to the episode after the current one; the queue
// ends at the last episode, and the sleep timer may hold it.
void BookSession::move_on() {
    if (queue_.closed() || player_->playState() != Player::Stopped || listening().queue_held())
        return;
    if (const EpisodeId id = queue_.next()) {
        queue_.set_current(id);
        emit currentChanged(id);
        play(id);
    }
}

// The book whose episode opens sets the speed and the skips; the list it plays
// from is the one that comes back next time.
void BookSession::on_episode_opening() {
    const Episode* episode = episodes_.find(opened_);
    if (!episode)
        return;
    listening_control_->open_book(episode->book.title);
    ListeningList list{episode->book.title, episode->book.save_folder, {}, {}};
    for (const Episode& e : episodes_.episodes())
        list.rows.emplace_back(e.label, e.address());
    listening().set_last_list(list);
    listening().save();
}

// An episode is heard under its address and under its file's path, which a
// download gives it later, so that the book folder counts it too.
void BookSession::on_episode_heard() {
    const Episode* episode = episodes_.find(opened_);
    if (episode) {
        if (!episode->remote.empty())
            listening().mark_heard(episode->remote);
        listening().mark_heard(downloaded_file_path(episode->book.save_folder,
                                                    episode->book.title, episode->label));
        if (!episode->local.empty())
            listening().mark_heard(episode->local);
        listening().save();
    }
    show_marks();
    list_book_folders();
}

bool BookSession::heard(const Episode& episode) const {
    const ListeningSession& session = listening_control_->session();
    return (!episode.remote.empty() && session.heard(episode.remote)) ||
           (!episode.local.empty() && session.heard(episode.local));
}

void BookSession::show_marks() {
    const int state = player_->playState();
    const bool active = state != Player::Stopped && state != Player::Undefined &&
                        state != Player::MediaEnded;
    const EpisodeId playing_now = active ? playing() : 0;
    episodes_.update_marks([this, playing_now](Episode& e) {
        e.playing = e.id == playing_now && e.id != 0;
        e.heard = heard(e);
    });
}

// The list of the last session comes back with the episode last played
// current; its position waits in the positions file until the user plays it.
void BookSession::restore_last_list() {
    const ListeningList list = listening().last_list();
    if (list.rows.empty() || !episodes_.empty())
        return;
    const Text last = listening().last_episode();
    EpisodeId current = 0;
    for (const auto& [label, address] : list.rows) {
        Episode episode;
        episode.label = label;
        episode.book = {list.book, list.save_folder};
        if (is_local_file(address)) {
            episode.local = address;
            episode.file = native_path(address);
            episode.state = DownloadState::downloaded;
        } else {
            episode.remote = address;
        }
        episode.heard = heard(episode);
        const EpisodeId id = episodes_.append(std::move(episode));
        if (address == last)
            current = id;
    }
    queue_.set_current(current);
    if (current)
        emit currentChanged(current);
    listening_control_->open_book(list.book);
}

void BookSession::close() {
    book_load_->cancel();
    queue_.close();
    downloads_->abort();
    stop_query();
    player_->controls().stop();
}

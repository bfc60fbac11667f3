#include "session/book_session.hpp"

#include "http/web_access.hpp"
#include "listening/listening_session.hpp"
#include "mpris/mpris_service.hpp"
#include "notify/desktop_notice.hpp"
#include "playback/listening_control.hpp"
#include "playback/listening_resume.hpp"
#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "session/download_on_disk.hpp"
#include "session/episode_lengths.hpp"
#include "session/episode_identity.hpp"
#include "session/book_tagging.hpp"
#include "session/episode_query.hpp"
#include "session/follow_check.hpp"
#include "session/query_range.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "site/book_page.hpp"
#include "site/book_page_load.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "tagging/book_retag.hpp"
#include "files/files.hpp"
#include "transfer/episode_download.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace fs = std::filesystem;

namespace {

// How often the followed books are checked while the program runs.
constexpr int follow_check_interval_ms = 3 * 60 * 60 * 1000;

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

bool is_local_file(const Text& episode) {
    std::error_code error;
    return !episode.empty() && !is_web_address(episode) &&
           fs::is_regular_file(native_path(episode), error);
}

} // namespace

BookSession::BookSession(QObject* parent)
    : QObject(parent),
      followed_(listening_positions_file().parent_path() / fs::path(u8"追更.ini")),
      last_book_(listening_positions_file().parent_path() / fs::path(u8"上次的书")),
      library_(listening_positions_file().parent_path()),
      player_(std::make_unique<Player>()),
      book_load_(std::make_unique<BookPageLoad>()),
      query_(std::make_unique<EpisodeQuery>(episodes_)),
      downloads_(std::make_unique<DownloadSequence>(episodes_)) {
    const fs::path positions = listening_positions_file();
    listening_control_ = std::make_unique<ListeningControl>(
        *player_, std::make_unique<ListeningSession>(positions.parent_path() / fs::path(u8"收听设置.ini")));
    resume_ = new ListeningResume(*player_, positions, listening_control_.get());
    bookmarks_ = std::make_unique<Bookmarks>(positions.parent_path() / fs::path(u8"书签.ini"));
    bind_load();
    bind_downloads();
    bind_landing();
    bind_playback();
    bind_follow_check();
    bind_bookmarks();
    new EpisodeLengths(episodes_, player_->engine(), [this] { return playing(); }, this);
    bind_shown_book();
}

BookSession::~BookSession() {
    close();
    retag_.reset();
    follow_check_.reset();
    downloads_.reset();
    query_.reset();
    book_load_.reset();
    listening_control_.reset(); // saves where listening stopped
    player_.reset();
    bookmarks_->save();
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
    startup_save_folder_ = read_setting(gbk("默认保存路径"));
    if (const auto kept = last_book_.kept(read_setting(gbk("默认网址")))) {
        show_page(kept->address, kept->page_text);
        landing_.know_cover(book_.title, kept->cover);
        if (!kept->cover.empty())
            emit coverArrived(kept->cover);
    }
    list_book_folders();
    restore_last_list();
    QTimer::singleShot(0, this, [this] { check_followed_books(); });
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
    connect(book_load_.get(), &BookPageLoad::coverArrived, this, [this](const Bytes& cover) {
        if (!cover.empty())
            last_book_.keep_cover(cover);
        emit coverArrived(cover);
    });
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
    // An address was typed: the page could not be had, and the second line
    // says why.
    if (page_text.empty() || address.empty()) {
        emit loadFailed(gbk(address.empty() ? "请输入网址！" : "无法打开书页！"),
                        why_no_page(address, report));
        return;
    }
    if (!show_page(address, page_text)) {
        emit loadFailed(gbk("请核对网址是否正确！"), why_no_title(report));
        return;
    }
    last_book_.keep_page(address, page_text);
    book_load_->fetch_cover(book_.cover_address);
    // A followed book's page, loaded anyway, is its check.
    if (followed_.find(book_.title))
        follow_check_->check_page(book_.title, address, page_text);
}

// False when the page is no play page of the site (no title).
bool BookSession::show_page(const Text& address, const Text& page_text) {
    book_ = cut_book_info(address, page_text);
    book_host_ = catalogue_host(address);
    book_address_ = address;
    if (book_.title.empty())
        return false;
    landing_.know_book(book_details(book_));
    library_.keep_details(address, book_);
    emit bookShown();
    if (episodes_.empty())
        emit bookmarksChanged();
    return true;
}

void BookSession::cover_shown(const Bytes& picture) {
    covers_.keep(book_.title, picture);
    if (picture.empty())
        return;
    library_.keep_cover(book_.title, picture);
    show_library_marks();
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
    // The book folders count every episode as soon as it lands.
    connect(downloads_.get(), &DownloadSequence::episodeArrived, this, [this] { list_book_folders(); });
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
    if (downloads_->run().book() != book_.title)
        downloads_->forget_run(); // the run line belongs to the book it fetched
    QueryPlan plan;
    // The episodes belong to the book loaded now, on the host it was loaded from.
    plan.catalogue_host = book_host_.empty() ? catalogue_host(address) : book_host_;
    plan.book_id = book_.book_id;
    plan.category = book_.category;
    plan.title = book_.title;
    plan.start = text_to_number(start);
    plan.span = span_value(span);
    plan.episode_total = int(text_to_number(book_.episode_total));
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
    if (arrived + failed == 0 || !hooks_.in_front || hooks_.in_front())
        return;
    Text body = gbk("《") + downloads_->run().book() + gbk("》已下载 ") +
                number_to_text(double(arrived)) + gbk(" 集");
    if (failed > 0)
        body += gbk("，失败 ") + number_to_text(double(failed)) + gbk(" 集");
    send_desktop_notice(to_qstring(gbk("下载结束")), to_qstring(body));
}

// The book folders ---------------------------------------------------------

void BookSession::list_book_folders() {
    folders_ = ::list_book_folders(effective_save_folder(startup_save_folder_),
                                   [this](const Text& file) { return listening().heard(file); },
                                   library_);
    std::vector<Text> followed;
    for (const FollowedBook& book : followed_.books())
        followed.push_back(book.title);
    add_followed_books(folders_, followed, library_);
    emit foldersChanged();
}

// A cover kept or a book listened to changes only the folders' marks and
// order: the folders are not listed from the disk again.
void BookSession::show_library_marks() {
    order_book_folders(folders_, library_);
    emit foldersChanged();
}

Text BookSession::remove_book(int index) {
    if (index < 0 || index >= int(folders_.size()))
        return {};
    const BookFolder book = folders_[std::size_t(index)];
    const bool fetching = (downloads_->run().book() == book.name &&
                           downloads_->state() == DownloadSequence::State::running) ||
                          (!follow_check_->checking_book().empty() &&
                           book_name(follow_check_->checking_book()) == book.name);
    if (fetching)
        return gbk("这本书正在下载，暂停后才能移除。");
    const Episode* playing_now = episodes_.find(playing());
    if (playing_now && book_name(playing_now->book.title) == book.name)
        player_->controls().stop();
    const fs::path folder = native_path(effective_save_folder(startup_save_folder_)) / book.native;
    // Qt 6.4 puts the trash in the current folder when the data folder that
    // holds the home trash is missing (a new account): it is made first.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    std::error_code no_folder;
    // A followed book with nothing downloaded yet has no folder to move.
    if (fs::exists(folder, no_folder) && !QFile::moveToTrash(QFile::decodeName(folder.c_str())))
        return gbk("无法把这本书的文件夹移到回收站。");
    gone_book_ = book.name;
    while (const FollowedBook* followed = followed_.in_folder(book.name))
        followed_.unfollow(Text(followed->title));
    followed_.save();
    library_.forget(book.name);
    const Text last_book = listening().last_list().book;
    if (!last_book.empty() && book_name(last_book) == book.name) {
        listening().set_last_list({});
        listening().save();
    }
    // Rows of the book listed now lose their files with it; a list of the
    // folder's files, left with nothing to play or fetch, goes.
    for (const Episode& e : std::vector<Episode>(episodes_.episodes()))
        if (book_name(e.book.title) == book.name && !e.local.empty())
            episodes_.update(e.id, [](Episode& gone) {
                gone.local.clear();
                gone.file.clear();
                gone.state = DownloadState::not_on_disk;
            });
    const auto& rows = episodes_.episodes();
    if (!rows.empty() && std::all_of(rows.begin(), rows.end(),
                                     [](const Episode& e) { return e.address().empty(); }))
        episodes_.clear();
    list_book_folders();
    emit followedChanged();
    emit shownBookChanged();
    return {};
}

// The save folder is read afresh: the settings window may have changed it.
// The episodes are numbered and ordered by the numbers their file names give;
// files that give none are counted on after them, in listing order. The one
// where listening stopped is current.
void BookSession::open_book_folder(int index) {
    if (index < 0 || index >= int(folders_.size()))
        return;
    const BookFolder chosen = folders_[std::size_t(index)];
    stop_query(); // the list now shows the folder's files
    if (downloads_->run().book() != chosen.name)
        downloads_->forget_run();
    episodes_.clear();
    const Text save = effective_save_folder(read_setting(gbk("默认保存路径")));
    const Text folder = join_path(save, chosen.name);
    std::vector<std::pair<int, FolderEntry>> files;
    for (FolderEntry& file : list_files_in(native_path(save) / chosen.native, ".mp3"))
        files.emplace_back(episode_number_in_name(file.name), std::move(file));
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.first != 0 && (b.first == 0 || a.first < b.first);
    });
    const Text last = listening().last_episode();
    EpisodeId current = 0;
    int k = 0;
    for (const auto& [number, file] : files) {
        ++k;
        Episode episode;
        episode.number = number_to_text(number > 0 ? number : k);
        episode.label = gbk("第") + episode.number + gbk("集");
        episode.book = {chosen.name, save};
        episode.local = join_path(folder, file.name);
        episode.file = file.native;
        episode.state = DownloadState::downloaded;
        episode.heard = heard(episode);
        const bool stopped_here = episode.local == last;
        const EpisodeId id = episodes_.append(std::move(episode));
        if (stopped_here)
            current = id;
    }
    if (current) {
        queue_.set_current(current);
        emit currentChanged(current);
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

bool BookSession::open_now(EpisodeId id) const {
    const int state = player_->playState();
    return id != 0 && id == playing() && !player_->URL().empty() &&
           (player_->running() || state == Player::Paused);
}

void BookSession::choose(EpisodeId id) {
    if (!open_now(id)) {
        play(id);
        return;
    }
    if (!player_->running())
        player_->toggle_play_pause();
}

void BookSession::play_or_pause(EpisodeId id) {
    if (id == 0)
        continue_listening();
    else if (open_now(id))
        player_->toggle_play_pause();
    else
        play(id);
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

// A player stopped at the end of its episode (or because it could not play
// it) moves on to the episode after the current one; the user's stop stays
// where it is. The queue ends at the last episode, and the sleep timer may
// hold it.
void BookSession::move_on() {
    if (queue_.closed() || player_->playState() != Player::Stopped ||
        player_->stopped_by_user() || listening().queue_held())
        return;
    if (const EpisodeId id = queue_.next()) {
        queue_.set_current(id);
        emit movedOn(id);
        play(id);
    }
}

// The book whose episode opens sets the speed and the skips; the list it plays
// from is the one that comes back next time.
void BookSession::on_episode_opening() {
    const Episode* episode = episodes_.find(opened_);
    if (!episode)
        return;
    opened_episode_ = *episode;
    library_.listened(episode->book.title, QDateTime::currentSecsSinceEpoch());
    show_library_marks();
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
    int unfinished = 0;
    for (const auto& [label, address] : list.rows) {
        Episode episode;
        episode.label = label;
        episode.book = {list.book, list.save_folder};
        if (is_local_file(address)) {
            episode.local = address;
            episode.file = native_path(address);
            episode.state = DownloadState::downloaded;
        } else if (!is_web_address(address)) {
            continue; // a file gone since: nothing to play or fetch
        } else {
            episode.remote = address;
            // The book shown at start is the list's own: an expired key can be
            // asked for again, as for a list the query built.
            const int number = episode_number_in_name(label);
            if (book_.title == list.book && !book_.book_id.empty() && number > 0) {
                episode.number = number_to_text(number);
                episode.source = {book_host_, book_.book_id, book_.category, episode.number};
            }
            note_file_on_disk(episode);
            if (not_out_yet(episode.number, int(text_to_number(book_.episode_total)), address))
                episode.state = DownloadState::not_out;
            unfinished += episode.state == DownloadState::paused ? 1 : 0;
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
    if (unfinished > 0) {
        downloads_->offer_unfinished();
        emit unfinishedFound(unfinished);
    } else {
        // Its episodes not on disk can be downloaded, as after the query.
        const auto& rows = episodes_.episodes();
        downloads_->query_filled(std::any_of(rows.begin(), rows.end(), [](const Episode& e) {
            return !e.remote.empty() && e.state != DownloadState::downloaded;
        }));
    }
}

// An episode of a list that comes back reads as downloaded when its file is
// on disk, and as paused when a closing cut its download short, with the
// bytes waiting in its hidden partial file.
void BookSession::note_file_on_disk(Episode& episode) const {
    if (!is_web_address(episode.remote) || episode.book.title.empty())
        return;
    // Downloaded since the list was kept: it reads as the query would list it.
    if (!find_downloaded_file(episode))
        find_partial_download(episode);
}

void BookSession::close() {
    follow_check_->cancel();
    cancel_tagging();
    follow_timer_.stop();
    book_load_->cancel();
    queue_.close();
    downloads_->abort();
    stop_query();
    player_->controls().stop();
}

// Followed books ----------------------------------------------------------

void BookSession::bind_follow_check() {
    follow_check_ = std::make_unique<FollowCheck>(followed_);
    follow_check_->set_landing(&landing_);
    // The user's own run goes first.
    connect(downloads_.get(), &DownloadSequence::buttonChanged, this,
            [this] { follow_check_->set_user_run(downloads_->running()); });
    connect(follow_check_.get(), &FollowCheck::episodesArrived, this,
            [this](const Text& title, int count) {
                send_desktop_notice(to_qstring(gbk("追更")),
                                    to_qstring(gbk("《") + title + gbk("》更新 ") +
                                               number_to_text(count) + gbk(" 集")));
                list_book_folders();
            });
    connect(follow_check_.get(), &FollowCheck::bookChecked, this, &BookSession::followedChanged);
    follow_timer_.setInterval(follow_check_interval_ms);
    connect(&follow_timer_, &QTimer::timeout, this, [this] { check_followed_books(); });
}

void BookSession::check_followed_books() {
    if (queue_.closed())
        return;
    follow_timer_.start();
    follow_check_->check_all();
}

bool BookSession::following() const {
    const Text book = details_book();
    return !book.empty() && (followed_.find(book) || followed_.in_folder(book_name(book)));
}

bool BookSession::can_follow() const {
    return following() || (!book_.title.empty() && book_name(book_.title) != gone_book_ &&
                           details_book() == book_.title);
}

// What the page said is the total seen: only episodes published later arrive.
void BookSession::follow(bool on) {
    if (on == following() || (on && !can_follow()))
        return;
    if (on)
        followed_.follow({book_.title, book_address_, startup_save_folder_,
                          int(text_to_number(book_.episode_total)), {}});
    else if (followed_.find(details_book()))
        followed_.unfollow(details_book());
    else
        followed_.unfollow(Text(followed_.in_folder(book_name(details_book()))->title));
    followed_.save();
    list_book_folders(); // a book followed before anything of it is downloaded is listed too
    emit followedChanged();
}

bool BookSession::check_book_folder(int index) {
    if (index < 0 || index >= int(folders_.size()) || queue_.closed())
        return false;
    const FollowedBook* book = followed_.in_folder(folders_[std::size_t(index)].name);
    if (!book)
        return false;
    follow_check_->check_book(book->title);
    return true;
}

// Bookmarks ------------------------------------------------------------------

void BookSession::bind_bookmarks() {
    PlaybackEngine& engine = player_->engine();
    connect(&engine, &PlaybackEngine::positionChanged, this,
            [this](qint64 position) { watch_jump(position); });
    // After the resume's own seek, which would otherwise move it on.
    connect(&engine, &PlaybackEngine::mediaStatusChanged, this,
            [this](PlaybackEngine::MediaStatus status) {
                if (status == PlaybackEngine::LoadedMedia && bookmark_seek_) {
                    watched_source_.clear(); // the resume's place was never heard
                    resume_->forgo(); // nor is it gone to once the length is known
                    player_->engine().setPosition(*std::exchange(bookmark_seek_, std::nullopt));
                }
                else if (status != PlaybackEngine::LoadingMedia)
                    bookmark_seek_.reset();
            });
    connect(&episodes_, &EpisodeList::reset, this, &BookSession::bookmarksChanged);
    connect(&episodes_, &EpisodeList::inserted, this, [this](int first) {
        if (first == 0)
            emit bookmarksChanged();
    });
}

Text BookSession::shown_book() const {
    const Episode* first = episodes_.at(0);
    return first ? first->book.title : book_.title;
}

std::vector<Bookmark> BookSession::bookmarks() const {
    const Text book = shown_book();
    return book.empty() ? std::vector<Bookmark>{} : bookmarks_->of(book);
}

// A position that moves by more than a minute while the same media plays on
// was a jump (the seek bar, a key, the desktop's controls, a bookmark). Opening,
// the resume's seek and a stop's rewind are not: the media is not steady then.
void BookSession::watch_jump(qint64 position) {
    const PlaybackEngine& engine = player_->engine();
    const bool steady = engine.mediaStatus() == PlaybackEngine::LoadedMedia &&
                        engine.playbackState() != PlaybackEngine::StoppedState;
    if (steady && engine.source() == watched_source_ &&
        std::abs(position - watched_at_) > long_jump_ms)
        if (const Episode* episode = episodes_.find(playing()))
            mark_before_jump(*episode, watched_at_);
    watched_source_ = steady ? engine.source() : QUrl();
    watched_at_ = position;
}

void BookSession::mark_before_jump(const Episode& episode, qint64 position) {
    Bookmark mark{episode.label, episode.remote, episode.local, position, {}, true};
    if (bookmarks_->add(episode.book.title, episode.book.save_folder, std::move(mark))) {
        bookmarks_->save();
        emit bookmarksChanged();
    }
}

// The episode open in the player, also when the list shown no longer has it.
const Episode* BookSession::open_episode() const {
    if (const Episode* listed = episodes_.find(playing()))
        return listed;
    return opened_episode_ && !player_->URL().empty() ? &*opened_episode_ : nullptr;
}

bool BookSession::add_bookmark(const Text& note) {
    const Episode* episode = open_episode();
    const PlaybackEngine& engine = player_->engine();
    if (!episode || engine.source().isEmpty())
        return false;
    Bookmark mark{episode->label, episode->remote, episode->local, engine.position(), note, false};
    if (!bookmarks_->add(episode->book.title, episode->book.save_folder, std::move(mark)))
        return false;
    bookmarks_->save();
    emit bookmarksChanged();
    return true;
}

// The list's episode with the bookmark's address or file; one the list lacks
// is added to it, under the book the bookmark belongs to.
EpisodeId BookSession::find_or_list(const Bookmark& mark, const Text& book) {
    for (const Episode& e : episodes_.episodes())
        if ((!mark.remote.empty() && e.remote == mark.remote) ||
            (!mark.local.empty() && e.local == mark.local))
            return e.id;
    Episode episode;
    episode.label = mark.label;
    episode.book = {book, bookmarks_->save_folder(book)};
    episode.remote = mark.remote;
    if (is_local_file(mark.local)) {
        episode.local = mark.local;
        episode.file = native_path(mark.local);
        episode.state = DownloadState::downloaded;
    } else if (mark.remote.empty()) {
        return 0; // its file is gone and it has no address
    }
    episode.heard = heard(episode);
    return episodes_.append(std::move(episode));
}

bool BookSession::play_bookmark(std::size_t index) {
    const std::vector<Bookmark> marks = bookmarks();
    if (index >= marks.size() || queue_.closed())
        return false;
    const Bookmark mark = marks[index];
    const EpisodeId id = find_or_list(mark, shown_book());
    const Episode* episode = episodes_.find(id);
    if (!episode)
        return false;
    PlaybackEngine& engine = player_->engine();
    const bool open_here = id == playing() && engine.mediaStatus() == PlaybackEngine::LoadedMedia;
    if (open_here) {
        engine.setPosition(mark.position); // the jump leaves its own automatic mark
        if (!player_->running())
            player_->controls().play();
        return true;
    }
    if (const Episode* now = open_episode();
        now && engine.mediaStatus() == PlaybackEngine::LoadedMedia)
        mark_before_jump(*now, engine.position());
    queue_.set_current(id);
    emit currentChanged(id);
    opened_ = id;
    player_->setURL(episode->address(), episode->file);
    if (engine.mediaStatus() == PlaybackEngine::LoadedMedia) {
        resume_->forgo();
        engine.setPosition(mark.position);
        player_->controls().play();
        return true;
    }
    // Opening, or the same address ended or stopped, which opens again: the
    // seek waits until it is open.
    bookmark_seek_ = mark.position;
    if (engine.mediaStatus() != PlaybackEngine::LoadingMedia)
        player_->controls().play();
    return true;
}

bool BookSession::rename_bookmark(std::size_t index, const Text& note) {
    if (!bookmarks_->rename(shown_book(), index, note))
        return false;
    bookmarks_->save();
    emit bookmarksChanged();
    return true;
}

bool BookSession::remove_bookmark(std::size_t index) {
    if (!bookmarks_->remove(shown_book(), index))
        return false;
    bookmarks_->save();
    emit bookmarksChanged();
    return true;
}

// What plays, and the book shown ------------------------------------------

void BookSession::bind_shown_book() {
    connect(this, &BookSession::bookShown, this, [this] {
        gone_book_.clear();
        list_shown_last_ = false;
        emit shownBookChanged();
    });
    connect(&episodes_, &EpisodeList::reset, this, &BookSession::shownBookChanged);
    connect(&episodes_, &EpisodeList::inserted, this, [this](int first, int last) {
        find_playing_again(first, last);
        if (first == 0) {
            gone_book_.clear(); // listed again
            list_shown_last_ = true;
            emit shownBookChanged();
        }
    });
    connect(player_.get(), &Player::PlayStateChange, this, &BookSession::playingChanged);
}

// The episode playing, listed again (by the query, from its folder, or in the
// list that comes back), is the one that plays in the new list: its row shows
// ▶ and the queue goes on from it.
// A stopped player's episode is not looked for: a new list then plays from its top.
void BookSession::find_playing_again(int first, int last) {
    if (!opened_episode_ || episodes_.index_of(opened_) >= 0 || now_playing().empty())
        return;
    for (int index = first; index <= last; ++index) {
        const Episode* row = episodes_.at(index);
        if (!row || !same_episode(*opened_episode_, *row))
            continue;
        opened_ = row->id;
        if (queue_.current() == 0)
            queue_.set_current(row->id);
        show_marks();
        emit playingChanged();
        return;
    }
}

// The book of the list, unless a page was loaded since the list was shown.
Text BookSession::details_book() const {
    const Episode* first = episodes_.at(0);
    return list_shown_last_ && first ? first->book.title : book_.title;
}

BookInfo BookSession::shown_book_info() const {
    const Text book = details_book();
    if (book.empty() || book_name(book) == gone_book_)
        return {};
    if (book == book_.title)
        return book_;
    BookInfo other;
    other.title = book;
    return other;
}

std::filesystem::path BookSession::shown_cover_file() const {
    const BookInfo shown = shown_book_info();
    return shown.title.empty() ? fs::path() : library_.cover_file(shown.title);
}

Text BookSession::now_playing() const {
    const int state = player_->playState();
    if (!opened_episode_ || player_->URL().empty() || state == Player::Stopped ||
        state == Player::Undefined || state == Player::MediaEnded)
        return {};
    const Episode* listed = episodes_.find(playing());
    return now_playing_text(listed ? *listed : *opened_episode_, state == Player::Paused);
}

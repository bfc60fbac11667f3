#pragma once
// The book the user works on, without a window: its page loads, the query lists
// its episodes, the download run fetches them, the play queue plays them one
// after another and listening keeps where it stopped. A window forwards the
// user's acts to its commands and shows what its signals say; so can a test.
#include "session/book_folders.hpp"
#include "session/download_sequence.hpp"
#include "session/episode_list.hpp"
#include "session/followed_books.hpp"
#include "session/last_book.hpp"
#include "session/library.hpp"
#include "session/play_queue.hpp"
#include "listening/bookmarks.hpp"
#include "site/book_info.hpp"
#include "site/cover_files.hpp"
#include "tagging/episode_landing.hpp"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BookPageLoad;
class BookRetag;
class EpisodeQuery;
class FollowCheck;
class ListeningControl;
class ListeningResume;
class ListeningSession;
class Player;
struct AccessReport;

// What the session asks of whatever shows it.
struct SessionHooks {
    std::function<void()> raise;         // the desktop asked to see the program
    std::function<bool()> in_front = [] { return true; }; // the user looks at it
};

class BookSession : public QObject {
    Q_OBJECT
  public:
    // Listening is kept in the files beside the configuration file.
    explicit BookSession(QObject* parent = nullptr);
    ~BookSession() override;
    BookSession(const BookSession&) = delete;
    BookSession& operator=(const BookSession&) = delete;

    // Offers the player to the desktop's media controls (once).
    void offer_media_controls(SessionHooks hooks);

    // Commands.
    // Reads the save folder, lists the book folders, shows the book of the
    // stored address as it was kept on disk (before any network answer), and
    // brings back the list listened to last, with its episode current;
    // nothing plays.
    void start();
    // Loads a book's play page, then its cover; a newer load replaces this one.
    void load(const Text& address);
    void cancel_load();
    // Lists the episodes of the book loaded last: `start` and `span` as typed;
    // `address` is kept as the last book's address.
    void query(const Text& address, const Text& start, const Text& span);
    void stop_query();
    // The download button: start (or go on), or pause.
    void press_download();
    void play(EpisodeId id);
    // The user chose an episode (Enter or a click on its row): it plays, or,
    // when it is the one open, goes on where it was paused (one playing plays on).
    void choose(EpisodeId id);
    // Space on an episode's row: the one open pauses or goes on, another plays;
    // with none (0), as continue_listening().
    void play_or_pause(EpisodeId id);
    // Plays or pauses what was assigned; before anything was, plays the
    // current episode from where it was left.
    void continue_listening();
    void next();
    void previous();
    // Lists the episodes on disk in the book folder at `index` of folders().
    void open_book_folder(int index);
    // Lists the book folders again, from the save folder read now.
    void list_book_folders();
    // Moves the book folder at `index` of folders() to the desktop's trash,
    // stops following it and forgets its cover and listening time. Gives why
    // it could not, or an empty text when it went. A book being downloaded
    // stays; one playing stops first.
    Text remove_book(int index);
    // Follows the book the details show, or stops following it: its new
    // episodes arrive by themselves, checked at start, every few hours and
    // whenever its page loads. A book can be followed once its page was
    // loaded, and stop being followed whenever it is shown.
    void follow(bool on);
    bool following() const;
    bool can_follow() const;
    // Checks every followed book now (also done at start and every few hours).
    void check_followed_books();
    // Checks the followed book of the folder at `index` of folders() now;
    // false when that book is not followed.
    bool check_book_folder(int index);
    const FollowedBooks& followed_books() const { return followed_; }
    // For a command handed over from the command line; followedChanged is
    // the changer's to emit.
    FollowedBooks& followed_books() { return followed_; }
    FollowCheck& follow_check() { return *follow_check_; }
    // Takes the save folder stored in the settings now (the settings window
    // may have changed it): the next query saves there, and the book folders
    // are listed from it.
    void reread_save_folder();
    // The window showed the cover it was given (empty: none could be shown),
    // so the desktop may show it too.
    void cover_shown(const Bytes& picture);
    // Bookmarks of the book shown (`bookmarks()` counts their indexes): adding
    // one at the place playing, with an optional note, keeps playing; playing
    // one opens its episode there (listing it first if the list lacks it).
    bool add_bookmark(const Text& note = {});
    bool play_bookmark(std::size_t index);
    bool rename_bookmark(std::size_t index, const Text& note);
    bool remove_bookmark(std::size_t index);
    // Tags the episodes of the book folder at `index` of folders() on a thread
    // of its own and writes its cover file and playlist (the library's
    // "写入标签"); one book at a time. False when it cannot start.
    bool tag_book(int index);
    void cancel_tagging();
    // The book being tagged, or an empty text.
    Text tagging_book() const;
    // Ends everything at once: the load, the query, the transfers (their
    // partial files stay) and playback. Nothing starts afterwards.
    void close();

    // What the session holds.
    EpisodeList& episodes() { return episodes_; }
    const EpisodeList& episodes() const { return episodes_; }
    const BookInfo& book() const { return book_; }
    // The Catalogue host the book was loaded from (with its port, if any).
    const Text& book_host() const { return book_host_; }
    const std::vector<BookFolder>& folders() const { return folders_; }
    EpisodeId current() const { return queue_.current(); }
    // The episode that opened last, while the list holds it.
    EpisodeId playing() const;
    bool loading() const;
    bool querying() const;
    bool downloading() const;
    DownloadSequence& downloads() { return *downloads_; }
    EpisodeQuery& episode_query() { return *query_; }
    BookPageLoad& book_load() { return *book_load_; }
    Player& player() { return *player_; }
    ListeningControl& listening_control() { return *listening_control_; }
    ListeningSession& listening();
    // The book of the list shown (or of the page loaded, before a list).
    Text shown_book() const;
    // What the details show: the book of the list shown, or of a page loaded
    // since; the page loaded when it is its page, else the title alone;
    // nothing of a book gone to the trash. The follow switch follows it too.
    BookInfo shown_book_info() const;
    // The cover the library kept for that book, or an empty path.
    std::filesystem::path shown_cover_file() const;
    // What plays: "正在播放《书名》第36集" (or "已暂停…"), whichever list is
    // shown; empty while nothing is open.
    Text now_playing() const;
    std::vector<Bookmark> bookmarks() const;
    // A jump longer than this leaves an automatic bookmark where it started.
    static constexpr qint64 long_jump_ms = 60000;
    const Text& startup_save_folder() const { return startup_save_folder_; }

  signals:
    void bookShown();
    void coverArrived(const Bytes& picture);
    void loadFailed(const Text& message, const Text& reason);
    void queryFinished();
    void downloadButtonChanged(DownloadSequence::Offer offer, bool enabled);
    void runChanged();
    void runEnded(int arrived, int failed);
    // The disk is full or the save folder cannot be written; said once.
    void diskFull(const Text& message);
    // The list that came back at start has `count` episodes half downloaded,
    // which the download button goes on with.
    void unfinishedFound(int count);
    // The queue made another episode current (0: none); it plays unless the
    // list came back at start.
    void currentChanged(EpisodeId id);
    // An episode ended and the queue moved on to the next, which plays; the
    // list's current row is the user's and stays.
    void movedOn(EpisodeId id);
    // What now_playing() says changed.
    void playingChanged();
    // The list shown is of another book, or its book's details changed.
    void shownBookChanged();
    void foldersChanged();
    // A followed book was followed, unfollowed or checked.
    void followedChanged();
    // The bookmarks of the book shown changed, or another book is shown.
    void bookmarksChanged();
    // Tagging a book from the library: `done` of its `total` files, then the end.
    void taggingProgressed(const Text& book, int done, int total);
    void taggingEnded(const Text& book, int tagged, int failed, bool cancelled);

  private:
    void bind_load();
    void bind_downloads();
    void bind_landing();
    static bool read_tag_writing_setting();
    void bind_playback();
    void on_page(const Text& address, const Text& page_text, const AccessReport& report);
    bool show_page(const Text& address, const Text& page_text);
    void move_on();
    // `id` is the episode the player has open, playing or paused.
    bool open_now(EpisodeId id) const;
    void queue_move_on();
    void on_episode_opening();
    void show_library_marks();
    void on_episode_heard();
    void show_marks();
    bool heard(const Episode& episode) const;
    void restore_last_list();
    void note_file_on_disk(Episode& episode) const;
    void tell_run_ended(int arrived, int failed);
    void bind_follow_check();
    void bind_bookmarks();
    void bind_shown_book();
    void find_playing_again(int first, int last);
    Text details_book() const;
    void watch_jump(qint64 position);
    void mark_before_jump(const Episode& episode, qint64 position);
    const Episode* open_episode() const;
    EpisodeId find_or_list(const Bookmark& mark, const Text& book);

    EpisodeList episodes_;
    PlayQueue queue_{episodes_};
    BookInfo book_;
    Text book_host_;
    Text startup_save_folder_;
    std::vector<BookFolder> folders_;
    CoverFiles covers_;
    FollowedBooks followed_;
    LastBook last_book_;
    Library library_;
    EpisodeLanding landing_{read_tag_writing_setting};
    std::unique_ptr<BookRetag> retag_;
    std::unique_ptr<Player> player_;
    std::unique_ptr<ListeningControl> listening_control_;
    ListeningResume* resume_ = nullptr; // owned by the listening control
    std::unique_ptr<BookPageLoad> book_load_;
    std::unique_ptr<EpisodeQuery> query_;
    std::unique_ptr<DownloadSequence> downloads_;
    std::unique_ptr<FollowCheck> follow_check_;
    QTimer follow_timer_;
    Text book_address_; // the play page the book shown was loaded from
    SessionHooks hooks_;
    EpisodeId opened_ = 0; // the episode that opened last
    std::unique_ptr<Bookmarks> bookmarks_;
    QUrl watched_source_; // playing steadily, at watched_at_
    qint64 watched_at_ = 0;
    std::optional<qint64> bookmark_seek_; // once the bookmark's episode opens
    bool move_queued_ = false;
    std::optional<Episode> opened_episode_; // as it was when it opened, for a list shown since
    Text gone_book_; // the folder that went to the trash last, until listed again
    bool list_shown_last_ = false; // the list came after the page loaded last
};

#pragma once
// The book the user works on, without a window: its page loads, the query lists
// its episodes, the download run fetches them, the play queue plays them one
// after another and listening keeps where it stopped. A window forwards the
// user's acts to its commands and shows what its signals say; so can a test.
#include "session/book_folders.hpp"
#include "session/download_sequence.hpp"
#include "session/episode_list.hpp"
#include "session/play_queue.hpp"
#include "site/book_info.hpp"
#include "site/cover_files.hpp"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class BookPageLoad;
class EpisodeQuery;
class ListeningControl;
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
    // Reads the save folder, lists the book folders and brings back the list
    // listened to last, with its episode current; nothing plays.
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
    // Plays or pauses what was assigned; before anything was, plays the
    // current episode from where it was left.
    void continue_listening();
    void next();
    void previous();
    // Lists the episodes on disk in the book folder at `index` of folders().
    void open_book_folder(int index);
    // Lists the book folders again, from the save folder read now.
    void list_book_folders();
    // Takes the save folder stored in the settings now (the settings window
    // may have changed it): the next query saves there, and the book folders
    // are listed from it.
    void reread_save_folder();
    // The window showed the cover it was given (empty: none could be shown),
    // so the desktop may show it too.
    void cover_shown(const Bytes& picture);
    // Ends everything at once: the load, the query, the transfers (their
    // partial files stay) and playback. Nothing starts afterwards.
    void close();

    // What the session holds.
    EpisodeList& episodes() { return episodes_; }
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
    // The queue made another episode current (0: none); it plays unless the
    // list came back at start.
    void currentChanged(EpisodeId id);
    void foldersChanged();

  private:
    void bind_load();
    void bind_downloads();
    void bind_playback();
    void on_page(const Text& address, const Text& page_text, const AccessReport& report);
    void move_on();
    void queue_move_on();
    void on_episode_opening();
    void on_episode_heard();
    void show_marks();
    bool heard(const Episode& episode) const;
    void restore_last_list();
    void tell_run_ended(int arrived, int failed);

    EpisodeList episodes_;
    PlayQueue queue_{episodes_};
    BookInfo book_;
    Text book_host_;
    Text startup_save_folder_;
    std::vector<BookFolder> folders_;
    CoverFiles covers_;
    std::unique_ptr<Player> player_;
    std::unique_ptr<ListeningControl> listening_control_;
    std::unique_ptr<BookPageLoad> book_load_;
    std::unique_ptr<EpisodeQuery> query_;
    std::unique_ptr<DownloadSequence> downloads_;
    SessionHooks hooks_;
    EpisodeId opened_ = 0; // the episode that opened last
    bool move_queued_ = false;
};

#pragma once
// The main window: its controls, the program's global state, and the handlers
// bound to the controls. The handlers live in the files named beside them.
#include "catalogue/book_info.hpp"
#include "catalogue/cover_files.hpp"
#include "text/text.hpp"
#include "widgets/anchored_placement.hpp"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QAbstractItemView;
class QLabel;
class QLineEdit;
class QPushButton;
class ReportList;
class QListWidget;
class QTimer;
class MediaPlayer;
class DownloadSequence;
class EpisodeQuery;
class EpisodeListModel;
class PlayQueue;
class ListeningSession;
class ListeningControl;
class AddressBox;
class BookPageLoad;
struct AccessReport;
class RunProgressLine;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // main_window.cpp
    void on_main_window_created();
    void open_settings();
    void repaint_now();
    // Host (with its port, if any) of the book page address in the address box.
    Text catalogue_host() const;

    // book_page_view.cpp: the page loads in the background; what it brings is
    // shown when it arrives.
    void load_book_page();
    BookPageLoad& book_load() { return *book_load_; }
    // A load is under way, or waits for the user to stop typing.
    bool book_page_pending() const;

    // episode_list.cpp
    void list_book_folders();
    void show_book_folder();

    // download_view.cpp: the query and the download sequence, bound to their buttons.
    void query_episodes();
    void toggle_download();
    bool pause_requested() const;
    DownloadSequence& downloads() { return *downloads_; }
    EpisodeQuery& query() { return *query_; }

    // playback.cpp
    void play_selected_episode();
    void on_play_timer();
    void on_player_open_state(int new_state);

    // listening_view.cpp: the listening bar under the lists and what it shows.
    void continue_listening();
    ListeningSession& listening();

    // The episode rows this window shows (the query, the download sequence and
    // the play queue work on them).
    EpisodeListModel& episodes() { return *episodes_; }

    // Global state of the window.
    BookInfo book;
    Text startup_save_folder;

    // Showing the window the first time runs on_main_window_created.
    void setVisible(bool visible) override;

    // main_window_layout.cpp
    // Adds a row below the lists, across the window; the default size grows by
    // its height (and its width, when the form is too narrow for it) and the
    // lists keep their height.
    void add_bottom_strip(QWidget* row);
    // The inside of the window at its default size (frame not included), and at
    // its smallest.
    QSize default_size() const;
    QSize smallest_size() const;

  protected:
    // Closing ends the long work at once: the query and the transfer under way
    // stop, playback stops, and nothing more is requested.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void build_controls();
    void bind_events();
    // main_window_layout.cpp
    void anchor_controls();
    void place_controls();
    void follow_default_size();
    bool eventFilter(QObject* receiver, QEvent* event) override;
    int strip_height() const;
    int strip_width_need() const;
    QSize form_size() const;
    void learn_frame();
    void fit_to_screen();
    void restore_place();
    void save_place() const;
    void fit_episode_columns();
    // main_window_keys.cpp
    void name_controls();
    void bind_keys();
    void on_current_row_change(QAbstractItemView* list, std::function<void()> handler,
                               bool when_chosen_again = false);
    void show_site_link(const Text& catalogue_host);
    void show_cover(const Bytes& picture);
    void bind_long_work();
    void stop_query();
    void show_resolved_row();
    void show_download_button();
    void add_listening_bar();
    void on_episode_opening();
    // Rows first to last (-1: to the end) show whether they play or were heard.
    void show_listening_marks(int first = 0, int last = -1);
    void show_folder_progress();
    void mark_episode_file_heard();
    void restore_listening();
    void offer_media_controls();
    void play_row(int row);
    int playing_row() const;
    int row_with_episode(const Text& episode) const;
    void bind_address_box();
    void bind_book_load();
    void show_book_page(const Text& address, const Text& page_text, const AccessReport& report);
    void show_load_failure(const Text& message, const Text& reason);
    void take_range_from_settings();
    void add_run_strip();
    void show_run();
    void tell_run_ended(int arrived, int failed);

    QPushButton* download_button_; // 按钮3
    QListWidget* folder_list_;     // 超级列表框2
    QLineEdit* span_box_;          // 编辑框3
    QLineEdit* start_box_;         // 编辑框2
    QLabel* span_caption_;         // 标签4
    QLabel* start_caption_;        // 标签3
    QTimer* play_timer_;           // 时钟1
    MediaPlayer* player_;          // 播放器1
    QLabel* logo_;                 // 图片框2
    QPushButton* settings_button_; // 按钮2
    QLabel* cover_;                // 图片框1
    QLabel* information_;          // 标签2
    QLabel* site_link_;            // 超级链接框1
    QLabel* address_caption_;      // 标签1
    ReportList* episode_list_;     // 超级列表框1
    QPushButton* query_button_;    // 按钮1
    AddressBox* address_box_;      // 编辑框1
    RunProgressLine* run_line_;    // the download run, under the controls
    std::unique_ptr<EpisodeListModel> episodes_;
    std::unique_ptr<DownloadSequence> downloads_;
    std::unique_ptr<EpisodeQuery> query_;
    std::unique_ptr<PlayQueue> play_queue_;
    ListeningControl* listening_control_ = nullptr;
    std::uint64_t opened_row_id_ = 0; // the row whose episode opened last
    Text book_host_; // the Catalogue host of the book page loaded last
    CoverFiles covers_;
    std::unique_ptr<BookPageLoad> book_load_;
    QTimer* typing_pause_ = nullptr; // a typed address loads once typing pauses
    AnchoredPlacement placement_;
    QWidget* bottom_strip_ = nullptr;
    int font_extra_ = 0;     // what the font adds to the default height
    QSize laid_extra_;       // what the font and the strip added when last laid out
    QSize frame_{0, 0};      // what the window manager's frame adds to the size
    QPoint frame_offset_;    // where the inside starts within the frame
    bool restored_ = false;  // the size and place came from the last run
    QSize restored_size_;    // the size kept, until the frame is known
    bool created_ = false;
    bool setting_address_from_code_ = false;
    bool query_after_load_ = false; // Enter in the address box: query once the page is in
};

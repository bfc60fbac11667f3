#pragma once
// The main window: a view of the book session. It builds the controls, hands
// the user's acts to the session and shows what the session says.
#include "session/download_sequence.hpp"

#include <QMargins>
#include <QWidget>

#include <memory>

class AddressBox;
class Announcer;
class Narration;
class BookSession;
class EpisodeTable;
class FeedSharing;
class LinkLabel;
class ListeningBar;
class MediaPlayer;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class ReportList;
class RunProgressLine;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    BookSession& session() { return *session_; }
    // The episode rows as the list shows them.
    EpisodeTable& episodes() { return *table_; }
    // A load is under way, or waits for the user to stop typing.
    bool book_page_pending() const;

    // Showing the window the first time reads the settings, lists the book
    // folders, brings back the last list and loads the stored address.
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
    // Closing ends the long work at once: the load, the query, the transfers
    // under way and playback stop, and nothing more is requested.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void build_controls();
    void build_episode_list();
    void bind_acts();
    void bind_session();
    void on_created();
    void query();
    void play_chosen_row();
    // The episode list's current row (0: none).
    EpisodeId current_row() const;
    void make_first_row_current();
    void show_book();
    void show_cover(const Bytes& picture);
    void show_site_link(const Text& catalogue_host);
    void show_download_button(DownloadSequence::Offer offer, bool enabled);
    void show_current(EpisodeId id);
    void show_run();
    void open_chosen_folder();
    // A load the user did not ask for with Enter or the query button says how
    // it went on the status line under the address box.
    void show_load_status(const QString& status);
    // `aloud`: a failure is said in a message box, else on the status line.
    void load(bool aloud);
    void show_load_failure_quietly(const Text& message, const Text& reason);
    // main_window_layout.cpp
    void lay_out_controls();
    void follow_default_size(bool keep_size = false);
    QMargins frame_margins() const;
    void fit_to_screen();
    void follow_frame();
    void restore_place();
    void save_place() const;
    // main_window_keys.cpp
    void name_controls();
    void bind_keys();

    std::unique_ptr<BookSession> session_;
    std::unique_ptr<FeedSharing> feed_sharing_; // the podcast feeds, while switched on
    EpisodeTable* table_ = nullptr;
    QPushButton* download_button_; // 按钮3
    QListWidget* folder_list_;     // 超级列表框2
    QLineEdit* span_box_;          // 编辑框3
    QLineEdit* start_box_;         // 编辑框2
    QLabel* span_caption_;         // 标签4
    QLabel* start_caption_;        // 标签3
    MediaPlayer* player_;          // 播放器1
    QLabel* logo_;                 // 图片框2
    QPushButton* settings_button_; // 按钮2
    QLabel* cover_;                // 图片框1
    QLabel* information_;          // 标签2
    LinkLabel* site_link_;         // 超级链接框1
    QLabel* address_caption_;      // 标签1
    QLabel* load_status_;          // under the address box
    ReportList* episode_list_;     // 超级列表框1
    QPushButton* query_button_;    // 按钮1
    AddressBox* address_box_;      // 编辑框1
    RunProgressLine* run_line_ = nullptr; // the download run, under the controls
    ListeningBar* listening_bar_ = nullptr;
    Announcer* announcer_ = nullptr; // says what changed to a screen reader
    Narration* narration_ = nullptr; // what it says, through the announcer
    QWidget* bottom_strip_ = nullptr;
    QSize laid_default_;         // the default size the window last followed
    QMargins known_frame_;       // the window manager's frame, once known
    bool restored_ = false;       // the size and place came from the last run
    QSize restored_size_;         // the size kept, until the frame is known
    QSize restored_as_;           // the size the window took for it
    QTimer* loading_shown_later_ = nullptr; // a quick load says nothing
    bool created_ = false;
    bool showing_current_ = false;  // the list follows the session's current episode
    bool query_after_load_ = false; // Enter in the address box: query once the page is in
    bool failure_aloud_ = false;    // the load under way was asked for by paste or Enter
};

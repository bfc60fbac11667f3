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
class EpisodeListView;
class EpisodeTable;
class StatusLines;
class WindowFrame;
class FormItem;
class FeedSharing;
class LinkLabel;
class ListeningBar;
class MediaPlayer;
class NowPlayingLine;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
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
    // An address handed in from outside (the command line, a later start): put
    // in the address box and loaded as a paste would load it, so that its page
    // becomes the book shown; the same address again loads it again. Once shown.
    void open_address(const QString& address);

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
    void bind_acts();
    void bind_session();
    void on_created();
    void query();
    void show_book();
    void show_cover(const Bytes& picture);
    void show_site_link(const Text& catalogue_host);
    void show_download_button(DownloadSequence::Offer offer, bool enabled);
    void show_run();
    void show_title();
    void open_chosen_folder();
    // `aloud`: a failure is said in a message box, else on the status line.
    void load(bool aloud);
    // main_window_layout.cpp
    void lay_out_controls();
    void follow_default_size(bool keep_size = false);
    void show_cover_room(bool shown);
    void show_shown();
    void make_room_for_frame(QMargins frame, bool restored);
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
    QLabel* load_status_;          // in the run line's place while it says something
    ReportList* episode_list_;     // 超级列表框1
    QPushButton* query_button_;    // 按钮1
    AddressBox* address_box_;      // 编辑框1
    RunProgressLine* run_line_ = nullptr; // the download run, under the controls
    StatusLines* status_lines_ = nullptr; // the run line, or a load's in its place
    EpisodeListView* episode_view_ = nullptr;
    RunProgressLine* range_line_ = nullptr; // what the query will list, under the range boxes
    NowPlayingLine* now_playing_ = nullptr; // what plays, beside the run line
    ListeningBar* listening_bar_ = nullptr;
    Announcer* announcer_ = nullptr; // says what changed to a screen reader
    Narration* narration_ = nullptr; // what it says, through the announcer
    QWidget* bottom_strip_ = nullptr;
    FormItem* information_item_ = nullptr;
    QSize laid_default_;         // the default size the window last followed
    std::unique_ptr<WindowFrame> frame_;
    bool created_ = false;
    bool query_after_load_ = false; // Enter in the address box: query once the page is in
    bool failure_aloud_ = false;    // the load under way was asked for by paste or Enter
};

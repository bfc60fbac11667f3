#pragma once
// The main window: its controls, the program's global state, and the handlers
// bound to the controls. The handlers live in the files named beside them.
#include "catalogue/book_info.hpp"
#include "catalogue/episode_rows.hpp"
#include "catalogue/play_queue.hpp"
#include "text/text.hpp"

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

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

class MainWindow : public QWidget, public EpisodeRows {
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

    // book_page_view.cpp
    void load_book_page();

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

    // Episode list operations (rows and columns count from 0); episode_list.cpp.
    void remove_all_rows();
    // -1 appends; returns the row. The row belongs to `book`.
    int insert_row(int index, const Text& column0, const RowBook& row_book = {});
    void set_cell(int row, int column, const Text& text) override;
    Text cell(int row, int column) const override; // empty for a row or column that does not exist
    int row_count() const override;
    std::vector<int> selected_rows() const; // ascending
    int current_row() const;                // -1 when none
    void set_current_row(int row);          // also the only selected row
    // The native file of a row filled from a book folder or a download (empty if none).
    // Setting column 1 of a row forgets its native file; set it again afterwards.
    std::filesystem::path row_native_path(int row) const;
    void set_row_native_path(int row, const std::filesystem::path& native) override;
    RowBook row_book(int row) const override;
    std::uint64_t row_id(int row) const override;
    int row_of(std::uint64_t id) const override;
    void set_state_note(int row, const Text& note) override;
    Text state_note(int row) const;

    // Global state of the window.
    BookInfo book;
    Text startup_save_folder;
    int row_counter = 0;
    int last_row = 0;

    // Showing the window the first time runs on_main_window_created.
    void setVisible(bool visible) override;

  protected:
    // Closing ends the long work at once: the query and the transfer under way
    // stop, playback stops, and nothing more is requested.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void build_controls();
    void bind_events();
    void keep_outer_size();
    void on_current_row_change(QAbstractItemView* list, std::function<void()> handler);
    void show_site_link(const Text& catalogue_host);
    void show_cover(const Bytes& picture);
    void bind_long_work();
    void stop_query();
    void add_resolved_row(int ordinal, const Text& number, const Text& address);
    void show_download_button();

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
    QLineEdit* address_box_;       // 编辑框1
    std::unique_ptr<DownloadSequence> downloads_;
    std::unique_ptr<EpisodeQuery> query_;
    PlayQueue play_queue_;
    Text book_host_;     // the Catalogue host of the book page loaded last
    RowBook query_book_; // the book the running query's rows belong to
    std::uint64_t last_row_id_ = 0;
    bool created_ = false;
    bool setting_address_from_code_ = false;
    bool moving_row_from_code_ = false;
};

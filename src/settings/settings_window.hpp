#pragma once
// The settings window: a modal dialog that shows the keys of the configuration
// file as one form and saves them. Each field is checked as it is typed; a bad
// one is marked and named, and nothing is saved while one is. Each opening
// builds a new window, filled from the file.
#include "text/text.hpp"

#include <QDialog>

class CheckTimerSwitch;
class FeedSettingsGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class SettingsWindow : public QDialog {
    Q_OBJECT
  public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // Fills the controls from the configuration file (run once, when created).
    void on_settings_window_created();
    // Asks for a folder and puts it into the save-folder box; cancel empties it.
    void choose_save_folder();
    // Checks the fields, writes them to the file and reports the outcome.
    void save_settings();

  private:
    void build();
    void bind_checks();
    void keep_problem_room(int width);
    // Marks the fields that are bad and names them on the problem line; false
    // when any is. `folder_problem` is what saving found wrong with the folder.
    bool check_fields(const Text& folder_problem = {});
    void save_media_host();
    void save_parallel_control();

    QLineEdit* save_folder_box_;   // 编辑框1
    QPushButton* choose_button_;   // 按钮1
    QLineEdit* start_episode_box_; // 编辑框3
    QLineEdit* episode_count_box_; // 编辑框4
    QCheckBox* rename_box_;        // 选择框1
    QCheckBox* tag_box_;           // 写入标签
    QSpinBox* parallel_box_;       // 调节框1: "同时下载"
    QLineEdit* media_host_box_;    // 媒体主机
    CheckTimerSwitch* check_timer_; // 后台追更
    QPushButton* save_button_;     // 按钮2
    QLabel* problems_;             // what is wrong, under the fields
    FeedSettingsGroup* feeds_;     // 局域网收听, 收听端口
};

#pragma once
// The settings window: a modal dialog that shows four keys of the configuration
// file and saves them. Each opening builds a new window, filled from the file.
#include "text/text.hpp"

#include <QDialog>

class QCheckBox;
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
    // Writes the four controls to the file and reports the outcome.
    void save_settings();

  protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void keep_outer_size();
    void fit_captions();
    // The rows below the group box: the Media host.
    void add_media_host_row();
    void save_media_host();
    Text save_message_detail() const;
    void add_parallel_control();
    void save_parallel_control();

    QLineEdit* save_folder_box_;   // 编辑框1
    QPushButton* choose_button_;   // 按钮1
    QLineEdit* start_episode_box_; // 编辑框3
    QLineEdit* episode_count_box_; // 编辑框4
    QCheckBox* rename_box_;        // 选择框1
    QPushButton* save_button_;     // 按钮2
    QLineEdit* media_host_box_ = nullptr;
    QString folder_at_open_; // the save folder as the window opened with it
    QSpinBox* parallel_box_;       // 调节框1: "同时下载"
};

// The two long handlers of the main window: the query that builds the episode
// rows, and the download sequence with its pause toggle. Both let pending
// events run between their rows, so nested handlers (the pause press among
// them) run inside them.
#include "catalogue/download_paths.hpp"
#include "catalogue/episode_address.hpp"
#include "catalogue/main_window.hpp"
#include "platform/files.hpp"
#include "platform/http_download.hpp"
#include "platform/qt_text.hpp"
#include "settings/config_file.hpp"
#include "text/gbk.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

#include <climits>
#include <cmath>
#include <cstdint>

namespace {

// The span box's value rounded toward zero; 0 for anything that is not a
// positive number.
int span_value(const Text& text) {
    const double value = std::trunc(text_to_number(text));
    if (!(value >= 1))
        return 0;
    return value >= double(INT_MAX) ? INT_MAX : int(value);
}

// What the state cell shows while an episode arrives: the share in percent, or
// the amount received when the server did not say how much is coming.
Text progress_text(std::int64_t received, std::int64_t total) {
    if (total > 0)
        return number_to_text(double(received * 100 / total)) + "%";
    if (received < 1024)
        return number_to_text(double(received)) + "B";
    if (received < 10 * 1024 * 1024)
        return number_to_text(double(received / 1024)) + "KB";
    return number_to_text(double(received / (1024 * 1024))) + "MB";
}

constexpr qint64 progress_interval_ms = 200;

} // namespace

void MainWindow::query_episodes() {
    write_setting(gbk("默认网址"), from_qstring(address_box_->text()));
    remove_all_rows();
    const int span = span_value(from_qstring(span_box_->text()));
    for (std::int64_t pass = 1; pass <= span; ++pass) {
        const int i = int(pass);
        row_counter = i;
        Text number = number_to_text(i + text_to_number(from_qstring(start_box_->text())));
        last_row = insert_row(row_counter, gbk("第") + number + gbk("集"));
        number = number_to_text(i + text_to_number(from_qstring(start_box_->text())));
        const Text address = resolve_episode_address(catalogue_host(), book.book_id, book.category,
                                                     book.title, number);
        set_cell(last_row, 1, address);
        set_cell(last_row, 2, number_to_text(i));
        set_cell(last_row, 3, gbk("未下载"));
        repaint_now();
        let_input_run();
    }
    if (!cell(0, 1).empty())
        download_button_->setEnabled(true);
}

void MainWindow::toggle_download() {
    const Text caption = from_qstring(download_button_->text());
    if (caption == gbk("下载")) {
        download_button_->setText(to_qstring(gbk("暂停")));
        pause_requested = false;
        create_folder(book_folder(startup_save_folder, book.title));
        const int n = row_count();
        for (int i = 1; i <= n; ++i) {
            const int r = i - 1;
            // A nested handler may have refilled the list with fewer rows.
            if (r < row_count()) {
                const Text address = cell(r, 1);
                const Text path = downloaded_file_path(startup_save_folder, book.title, cell(r, 0));
                const std::filesystem::path native = native_path(path);
                const Text state_before = cell(r, 3);
                // A transfer shorter than the interval shows no progress at all.
                QElapsedTimer since_repaint;
                since_repaint.start();
                Text shown;
                auto progress = [&](std::int64_t received, std::int64_t total) {
                    if (since_repaint.elapsed() < progress_interval_ms)
                        return;
                    const Text text = progress_text(received, total);
                    if (text == shown)
                        return;
                    shown = text;
                    set_cell(r, 3, text);
                    repaint_now();
                    since_repaint.start();
                };
                if (http_download(address, native, progress)) {
                    set_cell(r, 3, gbk("已下载"));
                    set_cell(r, 1, path);
                    set_row_native_path(r, native);
                } else {
                    // The row stays as it was: its address and its state.
                    set_cell(r, 3, state_before);
                }
            }
            repaint_now();
            let_input_run();
            if (pause_requested)
                break;
        }
        download_button_->setEnabled(false);
    } else if (caption == gbk("暂停")) {
        pause_requested = true;
        download_button_->setText(to_qstring(gbk("下载")));
    }
}

// Qt cannot tell waiting user input from other pending events, so every pending
// event is dispatched now (nothing happens when none is waiting). The callers
// repaint explicitly before calling this.
void MainWindow::let_input_run() {
    QCoreApplication::processEvents();
}

// The window's side of the two long pieces of work: the query button fills the
// episode list from the episode query, the download button drives the download
// sequence, and both go on while the window answers. Closing the window ends
// them at once.
#include "catalogue/address_box.hpp"
#include "catalogue/book_page_load.hpp"
#include "catalogue/download_sequence.hpp"
#include "catalogue/episode_query.hpp"
#include "catalogue/play_queue.hpp"
#include "catalogue/main_window.hpp"
#include "episodes/episode_list_model.hpp"
#include "http/web_access.hpp"
#include "notify/desktop_notice.hpp"
#include "playback/media_player.hpp"
#include "text/qt_text.hpp"
#include "settings/config_file.hpp"
#include "text/gbk.hpp"
#include "widgets/run_progress_line.hpp"
#include "widgets/dialogs.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTimer>

#include <climits>
#include <cmath>

namespace {

// The span box's value rounded toward zero; 0 for anything that is not a
// positive number.
int span_value(const Text& text) {
    const double value = std::trunc(text_to_number(text));
    if (!(value >= 1))
        return 0;
    return value >= double(INT_MAX) ? INT_MAX : int(value);
}

} // namespace

void MainWindow::bind_long_work() {
    downloads_ = std::make_unique<DownloadSequence>(*episodes_);
    EpisodeRequest options;
    options.user_agent = program_user_agent();
    downloads_->set_transfer_options(options);
    downloads_->set_double_press_interval(
        std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval()));
    connect(downloads_.get(), &DownloadSequence::buttonChanged, this,
            [this] { show_download_button(); });
    connect(downloads_.get(), &DownloadSequence::rowChanged, this, [this] { repaint_now(); });
    add_run_strip();
    // Said once, in a box of its own once the sequence has stopped.
    connect(downloads_.get(), &DownloadSequence::stoppedForDisk, this, [this](const Text& message) {
        QTimer::singleShot(0, this, [this, message] { show_message(this, message); });
    });

    query_ = std::make_unique<EpisodeQuery>(*episodes_);
    connect(query_.get(), &EpisodeQuery::rowResolved, this, [this] { show_resolved_row(); });
    connect(query_.get(), &EpisodeQuery::finished, this, [this] {
        downloads_->set_rows_pending(false);
        downloads_->query_filled(!episodes_->cell(0, 1).empty());
    });
}

void MainWindow::query_episodes() {
    write_setting(gbk("默认网址"), from_qstring(address_box_->text()));
    QueryPlan plan;
    // The rows belong to the book loaded now, on the host it was loaded from.
    plan.catalogue_host = book_host_.empty() ? catalogue_host() : book_host_;
    plan.book_id = book.book_id;
    plan.category = book.category;
    plan.title = book.title;
    plan.start = text_to_number(from_qstring(start_box_->text()));
    plan.span = span_value(from_qstring(span_box_->text()));
    plan.book = {book.title, startup_save_folder};
    stop_query();
    downloads_->set_rows_pending(plan.span >= 1);
    query_->start(plan);
}

void MainWindow::stop_query() {
    query_->cancel();
    downloads_->set_rows_pending(false);
}

void MainWindow::show_resolved_row() {
    repaint_now();
    downloads_->rows_added();
}

void MainWindow::toggle_download() {
    downloads_->set_parallel_downloads(read_parallel_downloads());
    downloads_->press();
}

// A line under the controls, and the window title, follow the download run;
// the desktop is told when a run ends while the user looks elsewhere.
void MainWindow::add_run_strip() {
    run_line_ = new RunProgressLine(this);
    run_line_->setObjectName(QStringLiteral("run_line"));
    add_bottom_strip(run_line_);
    connect(downloads_.get(), &DownloadSequence::runChanged, this, [this] { show_run(); });
    connect(downloads_.get(), &DownloadSequence::runEnded, this,
            [this](int arrived, int failed) { tell_run_ended(arrived, failed); });
}

void MainWindow::show_run() {
    const QString line = to_qstring(downloads_->run().summary());
    run_line_->show_line(line);
    const QString title = to_qstring(gbk("有声书下载播放器"));
    setWindowTitle(downloads_->running() ? line + QStringLiteral(" - ") + title : title);
}

void MainWindow::tell_run_ended(int arrived, int failed) {
    if (isActiveWindow())
        return;
    Text body = gbk("已下载 ") + number_to_text(double(arrived)) + gbk(" 集");
    if (failed > 0)
        body += gbk("，失败 ") + number_to_text(double(failed)) + gbk(" 集");
    send_desktop_notice(to_qstring(gbk("下载结束")), to_qstring(body));
}

bool MainWindow::pause_requested() const {
    return downloads_->pause_requested();
}

void MainWindow::show_download_button() {
    download_button_->setText(to_qstring(downloads_->caption()));
    download_button_->setEnabled(downloads_->enabled());
    repaint_now();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    save_place();
    typing_pause_->stop();
    book_load_->cancel();
    play_timer_->stop();
    play_queue_->close();
    downloads_->abort();
    stop_query();
    player_->controls().stop();
    QWidget::closeEvent(event);
}

#include "window/main_window.hpp"

#include "playback/listening_bar.hpp"
#include "window/bookmark_view.hpp"
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "session/book_session.hpp"
#include "settings/config_file.hpp"
#include "settings/settings_window.hpp"
#include "site/book_page.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/announcer.hpp"
#include "widgets/dialogs.hpp"
#include "widgets/report_list.hpp"
#include "widgets/run_progress_line.hpp"
#include "window/address_box.hpp"
#include "window/book_view.hpp"
#include "window/feed_address.hpp"
#include "window/library_view.hpp"
#include "window/narration.hpp"
#include "window/episode_table.hpp"
#include "window/follow_switch.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>

#include <algorithm>

namespace {

// The address the form carries before the created handler puts the stored one in.
const char* const sample_address = "https://www.example.com/yousheng/28946/play_28946_31.htm";

// How long a load may take before the status line says it is under way.
constexpr int quick_load_ms = 400;

template <typename Control> Control* named(Control* control, const char* name) {
    control->setObjectName(to_qstring(gbk(name)));
    return control;
}

QString say(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

static void load_window_resources() {
    Q_INIT_RESOURCE(window);
}

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), session_(std::make_unique<BookSession>()) {
    load_window_resources();
    install_window_roles();
    setWindowTitle(program_title());
    session_->downloads().set_double_press_interval(
        std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval()));
    build_controls();
    name_controls();
    lay_out_controls();
    announcer_ = new Announcer(this);
    narration_ = new Narration(*session_, announcer_, this);
    run_line_ = new RunProgressLine(this);
    run_line_->setObjectName(QStringLiteral("run_line"));
    // The run line shares its line with the follow switch, the bookmark button
    // and the silence switch.
    auto* run_row = new QWidget(this);
    auto* run_row_layout = new QHBoxLayout(run_row);
    run_row_layout->setContentsMargins(0, 0, 0, 0);
    run_row_layout->addWidget(run_line_, 1);
    run_row_layout->addWidget(new FollowSwitch(*session_, run_row));
    add_bottom_strip(new BookmarkView(*session_, run_row, this));
    bind_acts();
    bind_session();
    bind_keys();
    listening_bar_ = new ListeningBar(session_->listening_control(), this);
    add_bottom_strip(listening_bar_);
    connect(listening_bar_, &ListeningBar::continue_listening, this, [this] {
        const bool pausing = session_->player().running();
        session_->continue_listening();
        narration_->tell_playing(pausing);
    });
    connect(listening_bar_, &ListeningBar::told, announcer_, &Announcer::announce);
    restore_place(); // once every strip under the controls is in
    session_->offer_media_controls({[this] {
                                        showNormal();
                                        raise();
                                        activateWindow();
                                    },
                                    [this] { return isActiveWindow(); }});
}

MainWindow::~MainWindow() {
    // Nothing the session says reaches the window any more, and the views go
    // before the session they show.
    session_->disconnect(this);
    session_->episodes().disconnect(this);
    delete episode_list_;
    delete table_;
    delete player_;
    delete listening_bar_;
}

void MainWindow::build_controls() {
    download_button_ = named(new QPushButton(say("下载"), this), "按钮3");
    download_button_->setEnabled(false);
    folder_list_ = named(new QListWidget(this), "超级列表框2");
    folder_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    folder_list_->setItemDelegate(new FolderProgressDelegate(folder_list_));
    folder_list_->setIconSize(QSize(30, 42));
    folder_list_->setWordWrap(true);
    folder_list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    offer_book_removal(folder_list_, *session_);
    feed_sharing_ = std::make_unique<FeedSharing>();
    feed_sharing_->apply();
    offer_feed_address(folder_list_, *session_, *feed_sharing_);
    span_box_ = named(new QLineEdit("10", this), "编辑框3");
    start_box_ = named(new QLineEdit("35", this), "编辑框2");
    span_caption_ = named(new QLabel(this), "标签4");
    start_caption_ = named(new QLabel(this), "标签3");
    player_ = named(new MediaPlayer(session_->player(), this), "播放器1");

    logo_ = named(new QLabel(this), "图片框2");
    logo_->setAlignment(Qt::AlignCenter);
    QPixmap logo(":/window/logo.gif");
    logo_->setPixmap(logo.scaled(136, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    settings_button_ = named(new QPushButton(say("配置"), this), "按钮2");
    cover_ = named(new QLabel(this), "图片框1");
    cover_->setAlignment(Qt::AlignCenter);
    information_ = named(new InformationLabel(this), "标签2");
    information_->setTextFormat(Qt::PlainText);
    information_->setFocusPolicy(Qt::TabFocus); // read by a screen reader, line by line

    site_link_ = named(new LinkLabel(this), "超级链接框1");
    site_link_->setTextFormat(Qt::RichText);
    site_link_->setOpenExternalLinks(true);
    site_link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    show_site_link(catalogue_host(sample_address));

    address_caption_ = named(new QLabel(say("网址："), this), "标签1");
    build_episode_list();
    query_button_ = named(new QPushButton(say("查询"), this), "按钮1");
    address_box_ = named(new AddressBox(sample_address, this), "编辑框1");
    load_status_ = new QLabel(this);
    load_status_->setObjectName(QStringLiteral("load_status"));
    load_status_->setTextFormat(Qt::PlainText);
    load_status_->setWordWrap(true);
    load_status_->setContentsMargins(32, 0, 0, 0); // under the address box, not its caption
    load_status_->setFocusPolicy(Qt::TabFocus);    // so a screen reader can come back to it
    load_status_->setAccessibleName(say("载入状态"));
    load_status_->hide();
    loading_shown_later_ = new QTimer(this);
    loading_shown_later_->setSingleShot(true);
    loading_shown_later_->setInterval(quick_load_ms);
    connect(loading_shown_later_, &QTimer::timeout, this,
            [this] { show_load_status(say("正在载入书页…")); });
}

void MainWindow::build_episode_list() {
    table_ = new EpisodeTable(session_->episodes(), this);
    table_->set_note_decoration(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    episode_list_ = named(new ReportList(this), "超级列表框1");
    episode_list_->show_model(table_, new QItemSelectionModel(table_, episode_list_));
    episode_list_->setRootIsDecorated(false);
    episode_list_->setUniformRowHeights(true);
    episode_list_->setAllColumnsShowFocus(true);
    episode_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fit_episode_columns(episode_list_);
}

// The user's acts, handed to the session.
void MainWindow::bind_acts() {
    connect(address_box_, &AddressBox::addressChanged, this, [this] {
        session_->cancel_load(); // its address no longer stands
        query_after_load_ = false;
        loading_shown_later_->stop();
        show_load_status({});
    });
    // A paste or Enter asked for the page: its failure is said in a box.
    connect(address_box_, &AddressBox::loadWanted, this,
            [this] { load(!address_box_->load_after_typing()); });
    // Enter asks for the episodes too, once the page is in.
    connect(address_box_, &QLineEdit::returnPressed, this, [this] { query_after_load_ = true; });
    connect(query_button_, &QPushButton::clicked, this, [this] { query(); });
    connect(settings_button_, &QPushButton::clicked, this, [this] {
        SettingsWindow dialog(this);
        dialog.exec();
        session_->reread_save_folder();
        feed_sharing_->apply();
    });
    connect(download_button_, &QPushButton::clicked, this, [this] { session_->press_download(); });
    // The keys move the episode list's current row without playing it: Enter
    // plays the current row, Space plays it or pauses and resumes the one
    // playing. A click, or a double click, plays the row clicked.
    connect(episode_list_, &QAbstractItemView::clicked, this, [this] { play_chosen_row(); });
    connect(episode_list_, &QAbstractItemView::activated, this, [this] {
        session_->choose(current_row());
        narration_->tell_playing(false);
    });
    connect(new QShortcut(Qt::Key_Space, episode_list_, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this, [this] {
                const EpisodeId row = current_row();
                const bool pausing = session_->player().running() &&
                                     (row == 0 || row == session_->playing());
                session_->play_or_pause(row);
                narration_->tell_playing(pausing);
            });
    on_row_chosen(folder_list_, this, showing_current_, [this] { open_chosen_folder(); }, true);
}

// What the session says, shown.
void MainWindow::bind_session() {
    BookSession& s = *session_;
    connect(&s, &BookSession::bookShown, this, [this] { show_book(); });
    connect(&s, &BookSession::coverArrived, this, [this](const Bytes& cover) { show_cover(cover); });
    connect(&s, &BookSession::loadFailed, this, [this](const Text& message, const Text& reason) {
        loading_shown_later_->stop();
        query_after_load_ = false;
        if (failure_aloud_) {
            show_load_status({});
            show_load_failure(this, message, reason,
                              focusWidget() == address_box_ ? address_box_ : nullptr);
        } else {
            show_load_failure_quietly(message, reason);
        }
    });
    connect(&s, &BookSession::downloadButtonChanged, this,
            [this](DownloadSequence::Offer offer, bool enabled) { show_download_button(offer, enabled); });
    connect(&s, &BookSession::runChanged, this, [this] { show_run(); });
    connect(&s, &BookSession::runEnded, this, [this] {
        show_run();
        narration_->tell_run_ended();
    });
    // Said once, in a box of its own once the sequence has stopped.
    connect(&s, &BookSession::diskFull, this, [this](const Text& message) {
        QTimer::singleShot(0, this, [this, message] { show_message(this, message); });
    });
    connect(&s, &BookSession::unfinishedFound, this, [this](int count) {
        run_line_->show_line(say("继续未完成的 ") + QString::number(count) + say(" 集"));
    });
    connect(&s, &BookSession::queryFinished, this, [this] {
        const QString listed = say("已列出 ") + QString::number(table_->row_count()) + say(" 集");
        run_line_->show_line(listed);
        narration_->tell_listed(listed);
    });
    connect(&s, &BookSession::currentChanged, this, [this](EpisodeId id) { show_current(id); });
    connect(&s, &BookSession::foldersChanged, this, [this] { show_book_folders(folder_list_, *session_); });
    connect(&s, &BookSession::followedChanged, this, [this] { show_book_folders(folder_list_, *session_); });
    // Every row is on screen as soon as it is in or has changed.
    const auto repaint_now = [this] {
        episode_list_->settle_layout();
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    };
    connect(&s.episodes(), &EpisodeList::inserted, this, repaint_now);
    connect(&s.episodes(), &EpisodeList::inserted, this, [this] { make_first_row_current(); });
    connect(&s.episodes(), &EpisodeList::changed, this, repaint_now);
}

void MainWindow::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (visible && !created_) {
        created_ = true;
        on_created();
    }
}

// The settings give the address and the range to start from.
void MainWindow::on_created() {
    session_->start();
    address_box_->set_text_quietly(to_qstring(read_setting(gbk("默认网址"))));
    const Text start = read_setting(gbk("显示与下载开始集数"));
    const Text span = read_setting(gbk("默认显示集数"));
    if (!trim_spaces(start).empty())
        start_box_->setText(to_qstring(start));
    if (!trim_spaces(span).empty())
        span_box_->setText(to_qstring(span));
    if (!address_box_->text().isEmpty())
        load(false);
}

void MainWindow::load(bool aloud) {
    failure_aloud_ = aloud;
    session_->load(from_qstring(address_box_->text()));
    if (session_->loading())
        loading_shown_later_->start();
}

// An empty box says nothing: there is nothing to load.
void MainWindow::show_load_failure_quietly(const Text& message, const Text& reason) {
    if (address_box_->text().trimmed().isEmpty())
        show_load_status({});
    else
        show_load_status(to_qstring(message) + QStringLiteral(" ") + to_qstring(reason));
}

void MainWindow::show_load_status(const QString& status) {
    load_status_->setText(status);
    load_status_->setAccessibleDescription(status);
    load_status_->setVisible(!status.isEmpty());
}

bool MainWindow::book_page_pending() const {
    return address_box_->waiting() || session_->loading();
}

void MainWindow::query() {
    query_after_load_ = false;
    session_->query(from_qstring(address_box_->text()), from_qstring(start_box_->text()),
                    from_qstring(span_box_->text()));
}

// The lowest row chosen plays (goes on, when it is the one open).
void MainWindow::play_chosen_row() {
    const QModelIndexList chosen = episode_list_->selectionModel()->selectedRows();
    if (chosen.isEmpty())
        return;
    const auto lowest = std::min_element(chosen.begin(), chosen.end(),
                                         [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    session_->choose(table_->id_at(lowest->row()));
}

EpisodeId MainWindow::current_row() const {
    const QModelIndex current = episode_list_->selectionModel()->currentIndex();
    return current.isValid() ? table_->id_at(current.row()) : 0;
}

// Rows listed into a list with no current row: the first becomes current
// without playing, so the first Down goes to the second and Enter plays the
// first.
void MainWindow::make_first_row_current() {
    if (table_->row_count() == 0 || episode_list_->selectionModel()->currentIndex().isValid())
        return;
    showing_current_ = true;
    episode_list_->selectionModel()->setCurrentIndex(
        table_->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showing_current_ = false;
}

// The row the queue moved to shows; the keyboard focus stays where the user has it.
void MainWindow::show_current(EpisodeId id) {
    const int row = table_->row_of(id);
    showing_current_ = true;
    if (row < 0)
        episode_list_->selectionModel()->clear();
    else
        episode_list_->selectionModel()->setCurrentIndex(
            table_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showing_current_ = false;
    if (row >= 0)
        episode_list_->scrollTo(table_->index(row, 0));
}

void MainWindow::show_book() {
    const BookInfo& book = session_->book();
    loading_shown_later_->stop();
    show_load_status({});
    information_->setText(to_qstring(information_text(book)));
    narration_->tell_book(book);
    show_cover({}); // until this book's cover arrives
    start_caption_->setText(to_qstring(start_caption(book.episode_total)));
    span_caption_->setText(to_qstring(span_caption()));
    show_site_link(session_->book_host());
    if (std::exchange(query_after_load_, false))
        query();
}

void MainWindow::show_site_link(const Text& host) {
    site_link_->show_link(to_qstring(site_home_page(host)), say("支持网站：") + to_qstring(host));
}

void MainWindow::show_cover(const Bytes& picture) {
    QPixmap pixmap;
    if (picture.empty() ||
        !pixmap.loadFromData(picture.data(), static_cast<uint>(picture.size()))) {
        cover_->clear();
        session_->cover_shown({});
        return;
    }
    session_->cover_shown(picture);
    cover_->setPixmap(pixmap.scaled(QSize(92, 136), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    cover_->setAccessibleName(to_qstring(session_->book().title));
}

// A download button disabled under the user's focus hands the focus to the
// episode list, which says its current row; Qt would give it to the folder list.
void MainWindow::show_download_button(DownloadSequence::Offer offer, bool enabled) {
    download_button_->setText(say(offer == DownloadSequence::Offer::pause ? "暂停" : "下载"));
    if (!enabled && download_button_->hasFocus())
        episode_list_->setFocus(Qt::OtherFocusReason);
    download_button_->setEnabled(enabled);
}

void MainWindow::open_chosen_folder() {
    for (int i = 0; i < folder_list_->count(); ++i)
        if (folder_list_->item(i)->isSelected()) {
            session_->open_book_folder(i);
            return;
        }
}

// A line under the controls follows the download run; the window title, and a
// screen reader, hear of it as episodes end and the run pauses, goes on or ends.
void MainWindow::show_run() {
    const RunProgress& run = session_->downloads().run();
    const QString tally = to_qstring(run.tally());
    run_line_->show_line(to_qstring(run.summary()), narration_->run_is_news(tally));
    setWindowTitle(session_->downloading() && !tally.isEmpty()
                       ? tally + QStringLiteral(" - ") + program_title()
                       : program_title());
    narration_->tell_run(tally, run_line_->hasFocus());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    save_place();
    address_box_->stop_waiting();
    session_->close();
    QWidget::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fit_to_screen();
    // The window manager frames the window a little later, without moving it
    // every time: the frame is looked for again until it is surely known.
    for (const int ms : {0, 150, 600, 1500})
        QTimer::singleShot(ms, this, [this] { follow_frame(); });
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    follow_frame();
}

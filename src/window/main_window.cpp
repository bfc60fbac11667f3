#include "window/main_window.hpp"

#include "playback/listening_bar.hpp"
#include "window/bookmark_view.hpp"
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "session/book_session.hpp"
#include "session/episode_query.hpp"
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
#include "window/library_tagging.hpp"
#include "window/feed_address.hpp"
#include "window/library_view.hpp"
#include "window/narration.hpp"
#include "window/episode_table.hpp"
#include "window/follow_switch.hpp"
#include "window/now_playing_line.hpp"
#include "window/range_line.hpp"
#include "window/shown_book_view.hpp"
#include "window/episode_list_view.hpp"
#include "window/status_lines.hpp"
#include "window/window_frame.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QStyleHints>
#include <QTimer>
#include <QStackedLayout>
#include <QTreeWidget>

#include <utility>

namespace {

// The address the form carries before the created handler puts the stored one in.
const char* const sample_address = "https://www.example.com/yousheng/28946/play_28946_31.htm";

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
    frame_ = std::make_unique<WindowFrame>(*this, [this](QMargins frame, bool restored) {
        make_room_for_frame(frame, restored);
    });
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
    // The run line shares its line with what plays, the follow switch, the
    // bookmark button and the silence switch.
    auto* run_row = new QWidget(this);
    auto* run_row_layout = new QHBoxLayout(run_row);
    run_row_layout->setContentsMargins(0, 0, 0, 0);
    status_lines_ = new StatusLines(run_line_, run_row);
    load_status_ = status_lines_->load_status();
    run_row_layout->addWidget(status_lines_, 1);
    now_playing_ = new NowPlayingLine(*session_, run_row);
    run_row_layout->addWidget(now_playing_, 1);
    run_row_layout->addWidget(new FollowSwitch(*session_, run_row));
    auto* bookmarks = new BookmarkView(*session_, *narration_, run_row, this);
    add_bottom_strip(bookmarks);
    bind_acts();
    bind_session();
    bind_keys();
    listening_bar_ = new ListeningBar(session_->listening_control(), this);
    add_bottom_strip(listening_bar_);
    // The bookmark list comes and goes below everything else: the window
    // grows and shrinks by it, and the lists and controls above stay.
    add_bottom_strip(bookmarks->list());
    connect(bookmarks, &BookmarkView::listShownOrHidden, this, [this] { follow_default_size(); },
            Qt::QueuedConnection);
    connect(listening_bar_, &ListeningBar::continue_listening, this, [this] {
        const bool pausing = session_->player().running();
        session_->continue_listening();
        narration_->tell_playing(pausing);
    });
    connect(listening_bar_, &ListeningBar::told, announcer_, &Announcer::announce);
    frame_->restore_place(); // once every strip under the controls is in
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
    folder_list_ = make_library_list(this, *session_);
    offer_book_tagging(folder_list_, *session_, [this](const QString& text, bool done) {
        status_lines_->show_status(text);
        if (done)
            announcer_->announce(text);
    });
    feed_sharing_ = std::make_unique<FeedSharing>();
    feed_sharing_->apply();
    offer_feed_address(folder_list_, *session_, *feed_sharing_);
    span_box_ = named(new QLineEdit("10", this), "编辑框3");
    start_box_ = named(new QLineEdit("35", this), "编辑框2");
    // Until a book is in, the boxes say what they are for.
    start_box_->setToolTip(say("从这一集之后开始列出：填 35 列出第36集起"));
    span_box_->setToolTip(say("一次列出多少集"));
    span_caption_ = named(new QLabel(this), "标签4");
    start_caption_ = named(new QLabel(this), "标签3");
    range_line_ = new RangeLine(start_box_, span_box_, this);
    player_ = named(new MediaPlayer(session_->player(), this), "播放器1");

    logo_ = named(new QLabel(this), "图片框2");
    logo_->setAlignment(Qt::AlignCenter);
    QPixmap logo(":/window/logo.gif");
    logo_->setPixmap(logo.scaled(136, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    settings_button_ = named(new QPushButton(say("配置"), this), "按钮2");
    cover_ = named(new QLabel(this), "图片框1");
    cover_->setAlignment(Qt::AlignCenter);
    cover_->hide(); // until a cover arrives
    information_ = named(new InformationLabel(this), "标签2");
    information_->setTextFormat(Qt::PlainText);
    information_->setFocusPolicy(Qt::TabFocus); // read by a screen reader, line by line

    site_link_ = named(new LinkLabel(this), "超级链接框1");
    site_link_->setTextFormat(Qt::RichText);
    site_link_->setOpenExternalLinks(true);
    site_link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    show_site_link(catalogue_host(sample_address));

    address_caption_ = named(new QLabel(say("网址："), this), "标签1");
    episode_view_ = new EpisodeListView(*session_, this);
    episode_list_ = episode_view_->list();
    table_ = episode_view_->table();
    query_button_ = named(new QPushButton(say("查询"), this), "按钮1");
    address_box_ = named(new AddressBox(sample_address, this), "编辑框1");
    address_box_->setPlaceholderText(say("在这里粘贴书的播放页网址（…/play_书号_集号.htm）"));
}

// The user's acts, handed to the session.
void MainWindow::bind_acts() {
    connect(address_box_, &AddressBox::addressChanged, this, [this] {
        session_->cancel_load(); // its address no longer stands
        query_after_load_ = false;
        status_lines_->load_ended();
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
    episode_view_->bind_acts(*narration_);
    on_row_chosen(folder_list_, this, episode_view_->showing_current(), [this] { open_chosen_folder(); }, true);
}

// What the session says, shown.
void MainWindow::bind_session() {
    BookSession& s = *session_;
    connect(&s, &BookSession::bookShown, this, [this] { show_book(); });
    connect(&s, &BookSession::coverArrived, this, [this](const Bytes& cover) { show_cover(cover); });
    connect(&s, &BookSession::loadFailed, this, [this](const Text& message, const Text& reason) {
        query_after_load_ = false;
        if (failure_aloud_) {
            status_lines_->load_ended();
            show_load_failure(this, message, reason,
                              focusWidget() == address_box_ ? address_box_ : nullptr);
        } else {
            status_lines_->show_failure(address_box_->text().trimmed().isEmpty(), message, reason);
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
        const QString listed = to_qstring(listed_text(session_->episodes()));
        run_line_->show_line(listed);
        narration_->tell_listed(listed);
    });
    // The queue moving on leaves the user's row where it is, and says so.
    connect(&s, &BookSession::movedOn, narration_, &Narration::tell_moved_on);
    connect(&s, &BookSession::playingChanged, this, [this] { show_title(); });
    connect(&s, &BookSession::shownBookChanged, this,
            [this] { show_shown(); });
    connect(&s, &BookSession::foldersChanged, this, [this] { show_book_folders(folder_list_, *session_); });
    connect(&s, &BookSession::followedChanged, this, [this] { show_book_folders(folder_list_, *session_); });
    // Every row is on screen as soon as it is in or has changed.
    const auto repaint_now = [this] {
        episode_list_->settle_layout();
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    };
    connect(&s.episodes(), &EpisodeList::inserted, this, repaint_now);
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
    narration_->tell_start();
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
        status_lines_->load_started();
}

void MainWindow::open_address(const QString& address) {
    const QString wanted = address.trimmed();
    if (address_box_->text() == wanted) {
        address_box_->stop_waiting();
        load(true);
    } else {
        address_box_->setText(wanted); // loads it, as a paste does
    }
}

bool MainWindow::book_page_pending() const {
    return address_box_->waiting() || session_->loading();
}

void MainWindow::query() {
    query_after_load_ = false;
    session_->query(from_qstring(address_box_->text()), from_qstring(start_box_->text()),
                    from_qstring(span_box_->text()));
}

void MainWindow::show_book() {
    const BookInfo& book = session_->book();
    status_lines_->load_ended();
    narration_->tell_book(book);
    start_box_->setToolTip({}); // the captions say it now
    span_box_->setToolTip({});
    start_caption_->setText(to_qstring(start_caption(book.episode_total)));
    start_box_->setAccessibleName(say("开始集数") + (book.episode_total.empty() ? QString()
                                      : say("，共") + to_qstring(book.episode_total) + say("集")));
    span_caption_->setText(to_qstring(span_caption()));
    show_site_link(session_->book_host());
    if (std::exchange(query_after_load_, false))
        query();
}

void MainWindow::show_site_link(const Text& host) {
    site_link_->show_link(to_qstring(site_home_page(host)), say("支持网站：") + to_qstring(host));
}

// The details and cover of the book shown; without a cover the details take its room.
void MainWindow::show_shown() {
    show_cover_room(show_shown_book(information_, cover_, *session_));
}

void MainWindow::show_cover(const Bytes& picture) {
    QPixmap pixmap;
    if (picture.empty() ||
        !pixmap.loadFromData(picture.data(), static_cast<uint>(picture.size()))) {
        session_->cover_shown({});
        if (loaded_book_shown(*session_))
            show_shown(); // the library's, if any
        return;
    }
    session_->cover_shown(picture);
    if (!loaded_book_shown(*session_))
        return; // the list shows another book, whose cover stays
    show_cover_room(true);
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

// The book chosen, or the current one when Enter is pressed on it unchosen.
void MainWindow::open_chosen_folder() {
    const bool chosen = !folder_list_->selectedItems().isEmpty();
    for (int i = 0; i < folder_list_->count(); ++i)
        if (chosen ? folder_list_->item(i)->isSelected() : folder_list_->item(i) == folder_list_->currentItem()) {
            const QString title = folder_list_->item(i)->text();
            session_->open_book_folder(i);
            narration_->tell_book_opened(title, table_->row_count());
            return;
        }
}

// A line under the controls follows the download run; the window title, and a
// screen reader, hear of it as episodes end and the run pauses, goes on or ends.
void MainWindow::show_run() {
    const RunProgress& run = session_->downloads().run();
    const QString tally = to_qstring(run.tally());
    run_line_->show_line(to_qstring(run.summary()), narration_->run_is_news(tally));
    show_title();
    narration_->tell_run(tally, run_line_->hasFocus());
}

// What plays, then the run's count while a run goes on.
void MainWindow::show_title() {
    const QString tally = to_qstring(session_->downloads().run().tally());
    setWindowTitle(window_title(to_qstring(session_->now_playing()),
                                session_->downloading() ? tally : QString()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    frame_->save_place();
    address_box_->stop_waiting();
    session_->close();
    QWidget::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    frame_->fit_to_screen();
    // The window manager frames the window a little later, without moving it
    // every time: the frame is looked for again until it is surely known.
    for (const int ms : {0, 150, 600, 1500})
        QTimer::singleShot(ms, this, [this] { frame_->follow_frame(); });
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    frame_->follow_frame();
}

#include "catalogue/main_window.hpp"

#include "catalogue/address_box.hpp"
#include "catalogue/book_page_load.hpp"

#include "catalogue/book_page.hpp"
#include "catalogue/download_sequence.hpp"
#include "catalogue/episode_query.hpp"
#include "catalogue/play_queue.hpp"
#include "episodes/episode_list_model.hpp"
#include "listening/listening_session.hpp"
#include "playback/listening_resume.hpp"
#include "playback/media_player.hpp"
#include "text/qt_text.hpp"
#include "widgets/dialogs.hpp"
#include "widgets/report_list.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "settings/settings_window.hpp"
#include "text/gbk.hpp"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QHelpEvent>
#include <QToolTip>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// The address the form carries before the created handler puts the stored one in.
const char* const sample_address = "https://www.example.com/yousheng/28946/play_28946_31.htm";

QString name_of(const char* utf8_name) {
    return to_qstring(gbk(utf8_name));
}

template <typename Control>
Control* place(Control* control, const char* name, int x, int y, int width, int height) {
    control->setObjectName(name_of(name));
    control->setGeometry(x, y, width, height);
    return control;
}

// The book information label. Its text keeps the page's line breaks as they
// are; it is drawn with an empty line taking half a line's height, so the whole
// block fits its box in a usual font. A line too long for the box is cut short
// with "…", so the lines after it keep their places; when anything is cut, the
// whole text shows as the label's tooltip.
class InformationLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect box = contentsRect();
        const QFontMetrics metrics(font());
        int y = box.top();
        cut_ = false;
        for (const QString& line : text().remove(QChar('\r')).split(QChar('\n'))) {
            if (line.isEmpty()) {
                y += metrics.lineSpacing() / 2;
                continue;
            }
            const QString shown = metrics.elidedText(line, Qt::ElideRight, box.width());
            cut_ = cut_ || shown != line || y + metrics.height() > box.bottom() + 1;
            painter.drawText(QRect(box.left(), y, box.width(), metrics.height()),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
            y += metrics.lineSpacing();
        }
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            if (cut_)
                QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text(), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QLabel::event(e);
    }

  private:
    bool cut_ = false;
};

// The site link. With a single link in it, Tab and Shift+Tab go on to the next
// or previous control instead of looking for another link in the label.
class LinkLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

} // namespace

static void load_catalogue_resources() {
    Q_INIT_RESOURCE(catalogue);
}

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), episodes_(std::make_unique<EpisodeListModel>()),
      play_queue_(std::make_unique<PlayQueue>(*episodes_)) {
    load_catalogue_resources();
    setWindowTitle(program_title());
    build_controls();
    name_controls();
    anchor_controls();
    bind_long_work();
    bind_events();
    bind_keys();
    play_timer_->start();
    new ListeningResume(*player_, listening_positions_file(), player_);
    add_listening_bar();
    restore_place(); // once every strip under the controls is in
    connect(new QShortcut(Qt::Key_Space, episode_list_, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this, [this] { continue_listening(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::build_controls() {
    download_button_ =
        place(new QPushButton(to_qstring(gbk("下载")), this), "按钮3", 536, 200, 40, 24);
    download_button_->setEnabled(false);

    folder_list_ = place(new QListWidget(this), "超级列表框2", 472, 232, 104, 408);
    folder_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);

    span_box_ = place(new QLineEdit("10", this), "编辑框3", 528, 112, 48, 24);
    start_box_ = place(new QLineEdit("35", this), "编辑框2", 408, 112, 104, 24);
    span_caption_ = place(new QLabel(this), "标签4", 528, 88, 48, 24);
    start_caption_ = place(new QLabel(this), "标签3", 408, 88, 96, 24);

    play_timer_ = new QTimer(this);
    play_timer_->setObjectName(name_of("时钟1"));
    play_timer_->setInterval(300);

    player_ = place(new MediaPlayer(this), "播放器1", 264, 144, 312, 45);
    player_->setAutoStart(true);

    logo_ = place(new QLabel(this), "图片框2", 264, 88, 136, 48);
    logo_->setAlignment(Qt::AlignCenter);
    QPixmap logo(":/catalogue/logo.gif");
    logo_->setPixmap(logo.scaled(logo_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    settings_button_ =
        place(new QPushButton(to_qstring(gbk("配置")), this), "按钮2", 472, 200, 48, 24);

    cover_ = place(new QLabel(this), "图片框1", 160, 56, 92, 136);
    cover_->setAlignment(Qt::AlignCenter);

    information_ = place(new InformationLabel(this), "标签2", 8, 56, 152, 136);
    information_->setTextFormat(Qt::PlainText);

    site_link_ = place(new LinkLabel(this), "超级链接框1", 280, 56, 224, 24);
    site_link_->setTextFormat(Qt::RichText);
    site_link_->setOpenExternalLinks(true);
    site_link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    show_site_link(::catalogue_host(sample_address));

    address_caption_ = place(new QLabel(to_qstring(gbk("网址：")), this), "标签1", 8, 24, 32, 24);

    episode_list_ = place(new ReportList(this), "超级列表框1", 8, 200, 456, 440);
    episode_list_->show_model(episodes_.get(), &episodes_->selection());
    episodes_->set_note_decoration(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    episode_list_->setRootIsDecorated(false);
    episode_list_->setUniformRowHeights(true);
    episode_list_->setAllColumnsShowFocus(true);
    episode_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fit_episode_columns();

    query_button_ = place(new QPushButton(to_qstring(gbk("查询")), this), "按钮1", 512, 56, 64, 24);
    address_box_ = place(new AddressBox(sample_address, this), "编辑框1", 40, 24, 536, 24);
}

// The columns are 50, 300, 50 and 50 px wide, or as wide as their longest
// usual text needs in the list's font (a four-digit episode, a state); the
// address column takes what is left, so the state column stays in sight when
// the scroll bar shows and the address column gets the width a wider window adds.
void MainWindow::fit_episode_columns() {
    QHeaderView* header = episode_list_->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    const QFontMetrics metrics(episode_list_->font());
    const int margins = 2 * (episode_list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4);
    const QString widest[] = {to_qstring(gbk("第8888集")), QString(), to_qstring(gbk("88:88:88")),
                              to_qstring(gbk("未下载"))};
    for (int column = 0; column < 4; ++column) {
        const int needed = std::max(metrics.horizontalAdvance(widest[column]),
                                    header->sectionSizeHint(column) - margins) +
                           margins;
        episode_list_->setColumnWidth(column, column == 1 ? 300 : std::max(50, needed));
    }
    header->setSectionResizeMode(1, QHeaderView::Stretch);
}

void MainWindow::bind_events() {
    bind_address_box();
    bind_book_load();
    connect(query_button_, &QPushButton::clicked, this, [this] { query_episodes(); });
    connect(settings_button_, &QPushButton::clicked, this, [this] { open_settings(); });
    connect(download_button_, &QPushButton::clicked, this, [this] { toggle_download(); });
    on_current_row_change(episode_list_, [this] { play_selected_episode(); });
    on_current_row_change(folder_list_, [this] { show_book_folder(); }, true);
    connect(player_, &MediaPlayer::OpenStateChange, this,
            [this](int new_state) { on_player_open_state(new_state); });
    connect(play_timer_, &QTimer::timeout, this, [this] { on_play_timer(); });
}

// A click moves a list's current row before it selects the row, while the
// keyboard selects first. The handler reads the selection, so it runs once the
// selection has followed: at the selection change that completes a click, or
// else right after the event that moved the current row. Rows moved from code
// run no handler. With `when_chosen_again`, a click or Enter on an item also
// runs it when the item already was the current one (once per click).
void MainWindow::on_current_row_change(QAbstractItemView* list, std::function<void()> handler,
                                       bool when_chosen_again) {
    auto pending = std::make_shared<bool>(false);
    auto ran = std::make_shared<bool>(false); // during the event being handled
    auto call = [this, ran, handler] {
        handler();
        if (!*ran) {
            *ran = true;
            QTimer::singleShot(0, this, [ran] { *ran = false; });
        }
    };
    auto run = [this, pending, call] {
        if (*pending && !episodes_->moving_current_row()) {
            *pending = false;
            call();
        }
    };
    if (when_chosen_again) {
        auto chosen = [pending, ran, call] {
            if (*ran)
                return; // the click already moved the current row here
            *pending = false;
            call();
        };
        connect(list, &QAbstractItemView::pressed, this, chosen);
        connect(list, &QAbstractItemView::activated, this, chosen);
    }
    QItemSelectionModel* selection = list->selectionModel();
    connect(selection, &QItemSelectionModel::currentChanged, this, [this, pending, run] {
        if (episodes_->moving_current_row())
            return;
        *pending = true;
        QTimer::singleShot(0, this, run);
    });
    connect(selection, &QItemSelectionModel::selectionChanged, this, run);
}

void MainWindow::setVisible(bool visible) {
    QWidget::setVisible(visible);
    learn_frame();
    if (visible && !created_) {
        created_ = true;
        on_main_window_created();
        restore_listening();
    }
}

void MainWindow::on_main_window_created() {
    startup_save_folder = read_setting(gbk("默认保存路径"));
    setting_address_from_code_ = true;
    address_box_->setText(to_qstring(read_setting(gbk("默认网址"))));
    setting_address_from_code_ = false;
    take_range_from_settings();
    list_book_folders();
    if (!address_box_->text().isEmpty())
        load_book_page();
}

// The start and span boxes begin from the values the settings window stores,
// when there are any.
void MainWindow::take_range_from_settings() {
    const Text start = read_setting(gbk("显示与下载开始集数"));
    const Text span = read_setting(gbk("默认显示集数"));
    if (!trim_spaces(start).empty())
        start_box_->setText(to_qstring(start));
    if (!trim_spaces(span).empty())
        span_box_->setText(to_qstring(span));
}

void MainWindow::open_settings() {
    SettingsWindow dialog(this);
    dialog.exec();
}

// Everything changed since the last paint is painted now, without waiting for
// the event loop; what did not change is already on screen as it is. The episode
// list's pending layout is done first: left to its timer, it would invalidate
// the whole list again right after this paint.
void MainWindow::repaint_now() {
    episode_list_->settle_layout();
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

Text MainWindow::catalogue_host() const {
    return ::catalogue_host(from_qstring(address_box_->text()));
}

void MainWindow::show_site_link(const Text& host) {
    QString target = to_qstring(site_home_page(host)).toHtmlEscaped();
    QString caption = (to_qstring(gbk("支持网站：")) + to_qstring(host)).toHtmlEscaped();
    site_link_->setText(QString("<a href=\"%1\">%2</a>").arg(target, caption));
}

void MainWindow::show_cover(const Bytes& picture) {
    QPixmap pixmap;
    if (picture.empty() ||
        !pixmap.loadFromData(picture.data(), static_cast<uint>(picture.size()))) {
        cover_->clear();
        covers_.keep(book.title, {});
        return;
    }
    covers_.keep(book.title, picture);
    cover_->setPixmap(pixmap.scaled(cover_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    cover_->setAccessibleName(to_qstring(book.title));
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, [this] {
        learn_frame();
        fit_to_screen();
    });
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    learn_frame();
}

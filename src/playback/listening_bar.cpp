#include "playback/listening_bar.hpp"

#include "accessibility/accessible_events.hpp"

#include "listening/sleep_timer.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/accessible_controls.hpp"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>

namespace {

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

template <typename W> W* named(W* widget, const char* object_name, const char* accessible) {
    widget->setObjectName(object_name);
    widget->setAccessibleName(ui(accessible));
    widget->setToolTip(ui(accessible));
    widget->setFocusPolicy(Qt::StrongFocus);
    return widget;
}

QString clock_text(std::int64_t ms) {
    const std::int64_t seconds = (ms + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QSpinBox* seconds_box(QWidget* parent, const char* object_name, const char* accessible,
                      const char* prefix) {
    auto* box = named(new QSpinBox(parent), object_name, accessible);
    box->setRange(0, 600);
    box->setPrefix(ui(prefix));
    box->setSuffix(ui("秒"));
    return box;
}

} // namespace

ListeningBar::ListeningBar(ListeningControl& control, QWidget* parent)
    : QWidget(parent), control_(control) {
    install_accessible_controls(); // the sleep timer is named by its purpose
    setObjectName("listening_bar");
    setAccessibleName(ui("收听"));
    build();
    bind();
    show_state();
}

void ListeningBar::build() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2); // the room the speed box needs for its widest value

    speed_ = named(new QDoubleSpinBox(this), "speed_box", "播放速度");
    speed_->setRange(0.5, 3.0);
    speed_->setSingleStep(0.1);
    speed_->setDecimals(1);
    speed_->setSuffix(ui("×"));

    sleep_ = named(new QComboBox(this), "sleep_timer", "睡眠定时");
    sleep_->setSizeAdjustPolicy(QComboBox::AdjustToContents); // and to the font
    for (int minutes : SleepTimer::choices) {
        const char* caption = minutes == 0 ? "定时关" : minutes == SleepTimer::end_of_episode
                                                          ? "本集结束"
                                                          : nullptr;
        sleep_->addItem(caption ? ui(caption) : QString::number(minutes) + ui("分钟"), minutes);
    }
    sleep_left_ = named(new QToolButton(this), "sleep_left", "剩余时间（按下延长）");
    sleep_left_->setAutoRaise(true);

    back_ = named(new QToolButton(this), "back_button", "后退15秒");
    back_->setText(ui("-15秒"));
    forward_ = named(new QToolButton(this), "forward_button", "前进30秒");
    forward_->setText(ui("+30秒"));

    volume_ = named(new QSlider(Qt::Horizontal, this), "volume_slider", "音量 %");
    // Past the mark at 100 % the sound is boosted.
    volume_->setRange(0, ListeningSession::max_volume);
    volume_->setPageStep(10);
    volume_->setTickPosition(QSlider::TicksBelow);
    volume_->setTickInterval(100);

    intro_ = seconds_box(this, "intro_box", "本书片头跳过秒数", "头");
    outro_ = seconds_box(this, "outro_box", "本书片尾跳过秒数", "尾");

    continue_ = named(new QPushButton(ui("继续收听"), this), "continue_button", "继续收听");

    // The time left keeps its room while no timer runs, so starting one moves
    // nothing; the room beyond what the controls need goes before 继续收听.
    QSizePolicy keeps_room = sleep_left_->sizePolicy();
    keeps_room.setRetainSizeWhenHidden(true);
    sleep_left_->setSizePolicy(keeps_room);
    for (QWidget* w : std::initializer_list<QWidget*>{speed_, sleep_, sleep_left_, back_, forward_,
                                                       volume_, intro_, outro_})
        layout->addWidget(w);
    layout->addStretch(1);
    layout->addWidget(continue_);
    // The boxes and 继续收听 may give up the room beyond their least, so the bar
    // fits under the form at the usual font.
    for (QWidget* w : std::initializer_list<QWidget*>{speed_, intro_, outro_, continue_})
        w->setSizePolicy(QSizePolicy::Preferred, w->sizePolicy().verticalPolicy());
    fit_to_font();
}

// The volume slider keeps a modest length one can aim at, and the time left
// the width of its longest text; both follow the font.
void ListeningBar::fit_to_font() {
    // 0 to 200 % over about 65 px at the usual font, what the bar has room
    // for under the form; its value shows while it is dragged.
    volume_->setFixedWidth(fontMetrics().averageCharWidth() * 11);
    const int margins = 2 * style()->pixelMetric(QStyle::PM_ButtonMargin) + 4;
    sleep_left_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("88:88")) + margins);
    // The speed box shows its widest value, "3.0×", beside its arrows: its
    // least size leaves out the suffix.
    speed_->setMinimumWidth(speed_->sizeHint().width());
    // Qt 6.4 keeps a combo box's least size from the font it had first: the
    // sleep timer's is its size at this font.
    sleep_->setMinimumSize(sleep_->sizeHint());
    // 继续收听 may give up the room a style adds around its text.
    continue_->setMinimumWidth(fontMetrics().horizontalAdvance(continue_->text()) + margins +
                               2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
}

void ListeningBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fit_to_font();
}

void ListeningBar::bind() {
    connect(speed_, &QDoubleSpinBox::valueChanged, this,
            [this](double value) { control_.set_speed_tenths(int(value * 10 + 0.5)); });
    connect(sleep_, &QComboBox::activated, this, [this](int index) {
        control_.choose_sleep(sleep_->itemData(index).toInt());
        QString said = sleep_->itemText(index);
        if (const auto left = control_.sleep_remaining())
            said += ui("，剩余 ") + clock_text(*left);
        emit told(said);
    });
    connect(sleep_left_, &QToolButton::clicked, this, [this] {
        control_.extend_sleep();
        if (const auto left = control_.sleep_remaining())
            emit told(ui("剩余 ") + clock_text(*left));
    });
    connect(back_, &QToolButton::clicked, this, [this] { tell_jump(control_.back(), "后退15秒，"); });
    connect(forward_, &QToolButton::clicked, this,
            [this] { tell_jump(control_.forward(), "前进30秒，"); });
    connect(volume_, &QSlider::valueChanged, this, [this](int value) {
        control_.set_volume(value);
        volume_->setToolTip(ui("音量 ") + QString::number(value) + QStringLiteral(" %"));
    });
    // While dragged, the slider says its value beside the handle.
    connect(volume_, &QSlider::sliderMoved, this, [this](int value) {
        QToolTip::showText(volume_->mapToGlobal(QPoint(volume_->width() / 2, -volume_->height())),
                           QString::number(value) + QStringLiteral(" %"), volume_);
    });
    connect(volume_, &QSlider::sliderReleased, this, [] { QToolTip::hideText(); });
    // The jumps have nothing to move until an episode is open.
    Player& player = control_.player();
    const auto follow_open = [this, &player] {
        back_->setEnabled(!player.URL().empty());
        forward_->setEnabled(!player.URL().empty());
    };
    connect(&player, &Player::OpenStateChange, this, follow_open);
    follow_open();
    auto skips = [this] { control_.set_skips(intro_->value(), outro_->value()); };
    connect(intro_, &QSpinBox::valueChanged, this, skips);
    connect(outro_, &QSpinBox::valueChanged, this, skips);
    connect(continue_, &QPushButton::clicked, this, &ListeningBar::continue_listening);
    connect(&control_, &ListeningControl::changed, this, [this] { show_state(); });

    QWidget* window = parentWidget() ? parentWidget() : this;
    // The speed box in focus says its own value.
    auto tell_speed = [this] {
        if (!speed_->hasFocus())
            emit told(ui("播放速度 ") + speed_->text());
    };
    connect(new QShortcut(QKeySequence(Qt::Key_BracketLeft), window), &QShortcut::activated, this,
            [this, tell_speed] {
                control_.slower();
                tell_speed();
            });
    connect(new QShortcut(QKeySequence(Qt::Key_BracketRight), window), &QShortcut::activated,
            this, [this, tell_speed] {
                control_.faster();
                tell_speed();
            });
}

void ListeningBar::tell_jump(std::optional<std::int64_t> to, const char* what) {
    if (to)
        emit told(ui(what) + clock_text(*to));
}

void ListeningBar::show_state() {
    ListeningSession& session = control_.session();
    const QSignalBlocker quiet_speed(speed_), quiet_volume(volume_), quiet_intro(intro_),
        quiet_outro(outro_);
    speed_->setValue(session.speed());
    volume_->setValue(session.volume());
    volume_->setToolTip(ui("音量 ") + QString::number(session.volume()) + QStringLiteral(" %"));
    intro_->setValue(session.intro_seconds());
    outro_->setValue(session.outro_seconds());
    intro_->setEnabled(!session.book().empty());
    outro_->setEnabled(!session.book().empty());
    const int chosen = session.sleep_timer().chosen();
    sleep_->setCurrentIndex(std::max(0, sleep_->findData(chosen)));
    const auto left = control_.sleep_remaining();
    {
        // Its name holds the time left, read when the button is reached; the
        // count down itself is not said every second.
        const QuietAccessibleChanges quiet(sleep_left_);
        sleep_left_->setText(left ? clock_text(*left) : QString());
        sleep_left_->setAccessibleName(left ? ui("剩余时间 ") + clock_text(*left) + ui("（按下延长）")
                                            : ui("剩余时间（按下延长）"));
    }
    sleep_left_->setEnabled(bool(left));
    sleep_left_->setVisible(bool(left));
}

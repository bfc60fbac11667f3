#include "playback/media_player.hpp"

#include "accessibility/accessible_events.hpp"

#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "widgets/accessible_controls.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

QString clock_text(qint64 ms) {
    qint64 seconds = ms / 1000;
    qint64 hours = seconds / 3600;
    qint64 minutes = seconds / 60 % 60;
    seconds %= 60;
    QString text = hours > 0 ? QStringLiteral("%1:%2:%3")
                                   .arg(hours)
                                   .arg(minutes, 2, 10, QLatin1Char('0'))
                                   .arg(seconds, 2, 10, QLatin1Char('0'))
                             : QStringLiteral("%1:%2")
                                   .arg(minutes, 2, 10, QLatin1Char('0'))
                                   .arg(seconds, 2, 10, QLatin1Char('0'));
    return text;
}

// The seek bar's value in words: where it stands, of how long ("01:05 / 45:00").
QString bar_words(int seconds, qint64 duration_ms) {
    QString words = clock_text(qint64(seconds) * 1000);
    if (duration_ms > 0)
        words += QStringLiteral(" / ") + clock_text(duration_ms);
    return words;
}

// A left click on the seek bar's groove puts the handle there, and the drag
// that may follow goes on from there.
class ClickJumps : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

} // namespace

MediaPlayer::MediaPlayer(Player& player, QWidget* parent) : QWidget(parent), player_(player) {
    install_accessible_controls(); // the seek bar reads its value as a time
    build_face();
    bind();
    resize(sizeHint());
}

// The form's size, or what the buttons, the seek bar and the time need at a
// larger font.
QSize MediaPlayer::sizeHint() const {
    return QSize(312, 45).expandedTo(QWidget::sizeHint());
}

void MediaPlayer::name_play_button(bool running) {
    const QString name = running ? QStringLiteral("暂停") : QStringLiteral("播放");
    play_button_->setAccessibleName(name);
    play_button_->setToolTip(name);
}

void MediaPlayer::build_face() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    play_button_ = new QToolButton(this);
    play_button_->setObjectName("play_pause_button");
    play_button_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    play_button_->setAutoRaise(true);
    play_button_->setFocusPolicy(Qt::TabFocus);
    name_play_button(false);
    stop_button_ = new QToolButton(this);
    stop_button_->setObjectName("stop_button");
    stop_button_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    stop_button_->setAutoRaise(true);
    stop_button_->setFocusPolicy(Qt::TabFocus);
    stop_button_->setAccessibleName(QStringLiteral("停止"));
    stop_button_->setToolTip(QStringLiteral("停止"));

    seek_bar_ = new QSlider(Qt::Horizontal, this);
    seek_bar_->setObjectName("seek_bar");
    // In whole seconds, the unit a screen reader says.
    seek_bar_->setRange(0, 0);
    seek_bar_->setSingleStep(5); // Left and Right: 5 s
    seek_bar_->setPageStep(60);  // Page Up and Page Down: 60 s
    seek_bar_->setFocusPolicy(Qt::StrongFocus);
    auto* jumps = new ClickJumps; // over the application's own style
    jumps->setParent(seek_bar_);
    seek_bar_->setStyle(jumps);

    time_label_ = new QLabel(this);
    time_label_->setObjectName("time_label");
    time_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    time_label_->setText(clock_text(0));
    seek_bar_->setAccessibleName(QStringLiteral("播放位置"));
    set_accessible_value_text(seek_bar_, clock_text(0));
    time_label_->setMinimumWidth(time_label_->fontMetrics().horizontalAdvance("00:00 / 00:00") + 4);

    layout->addWidget(play_button_);
    layout->addWidget(stop_button_);
    layout->addWidget(seek_bar_, 1);
    layout->addWidget(time_label_);
}

void MediaPlayer::bind() {
    connect(play_button_, &QToolButton::clicked, this, [this] { player_.toggle_play_pause(); });
    connect(stop_button_, &QToolButton::clicked, this, [this] { player_.controls().stop(); });
    connect(seek_bar_, &QSlider::sliderMoved, this, [this](int) { show_time(); });
    // The bar's value is said as a time rather than as seconds, as soon as it moves.
    connect(seek_bar_, &QSlider::valueChanged, this, [this](int seconds) {
        set_accessible_value_text(seek_bar_, bar_words(seconds, player_.engine().duration()));
    });
    connect(seek_bar_, &QSlider::sliderReleased, this,
            [this] { player_.seek_to(qint64(seek_bar_->value()) * 1000); });
    // A key or the wheel: the slider has taken its new position already. A
    // click on the groove or a drag seeks once, when the button is released.
    connect(seek_bar_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove || !seek_bar_->isSliderDown()) {
            user_moves_ = true; // the bar moves as the user asked, and says so
            player_.seek_to(qint64(seek_bar_->sliderPosition()) * 1000);
            user_moves_ = false;
        }
    });
    PlaybackEngine& engine = player_.engine();
    connect(&engine, &PlaybackEngine::durationChanged, this, [this](qint64 duration) {
        // To the nearest second: an estimated length of 999 ms is one second long.
        const QuietAccessibleChanges quiet(seek_bar_);
        seek_bar_->setRange(0, int(std::clamp<qint64>((duration + 500) / 1000, 0, INT_MAX)));
        show_time();
    });
    // Playback moving the bar is not told to a screen reader, which would say
    // every second; the user's own moves are.
    connect(&engine, &PlaybackEngine::positionChanged, this, [this](qint64 position) {
        std::optional<QuietAccessibleChanges> quiet;
        if (!user_moves_)
            quiet.emplace(seek_bar_);
        if (!seek_bar_->isSliderDown())
            seek_bar_->setValue(int(std::clamp<qint64>(position / 1000, 0, INT_MAX)));
        show_time();
    });
    connect(&player_, &Player::PlayStateChange, this, [this](int state) { show_state(state); });
    // Nothing to play or stop until an episode is open.
    const auto follow_open = [this] {
        const bool open = !player_.URL().empty();
        play_button_->setEnabled(open);
        stop_button_->setEnabled(open);
    };
    connect(&player_, &Player::OpenStateChange, this, follow_open);
    follow_open();
}

void MediaPlayer::show_state(int state) {
    const bool running =
        state == Player::Playing || state == Player::Buffering || state == Player::Transitioning;
    play_button_->setIcon(
        style()->standardIcon(running ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    name_play_button(running);
}

void MediaPlayer::show_time() {
    qint64 position = seek_bar_->isSliderDown() ? qint64(seek_bar_->value()) * 1000
                                                : player_.engine().position();
    qint64 duration = player_.engine().duration();
    QString text = clock_text(position);
    if (duration > 0)
        text += QStringLiteral(" / ") + clock_text(duration);
    time_label_->setText(text);
    set_accessible_value_text(seek_bar_, bar_words(seek_bar_->value(), duration));
}

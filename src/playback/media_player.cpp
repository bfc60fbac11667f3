#include "playback/media_player.hpp"

#include "files/files.hpp"
#include "playback/playback_engine.hpp"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <system_error>

namespace {

bool is_web_address(const Text& address) {
    Text head = lower_ascii(left_bytes(address, 8));
    return head.starts_with("http://") || head.starts_with("https://");
}

QUrl local_file(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        absolute = path;
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(absolute.string())));
}

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

} // namespace

QUrl media_address(const Text& address, const std::filesystem::path& native) {
    if (!native.empty())
        return local_file(native);
    if (address.empty())
        return {};
    if (is_web_address(address))
        return QUrl::fromEncoded(QByteArray::fromStdString(percent_encode_unsafe(address)));
    return local_file(native_path(address));
}

struct MediaPlayer::Impl {
    explicit Impl(MediaPlayer& owner) : self(owner), controls(owner) {}

    MediaPlayer& self;
    PlaybackEngine player;
    PlayerControls controls;
    QToolButton* play_button = nullptr;
    QToolButton* stop_button = nullptr;
    QSlider* seek_bar = nullptr;
    QLabel* time_label = nullptr;

    Text url;
    QUrl source;
    int state = Undefined;
    bool auto_start = true;
    bool assigned = false;     // an address was assigned at least once
    bool opening = false;      // the assigned address is not open yet
    bool failed = false;       // the assigned address could not be played
    bool played = false;       // playback started since the address was assigned
    bool user_stopped = false; // stop was asked since the last play
    bool ended = false;        // the end of the media was reported
    bool update_queued = false;

    void build_face();
    void set_state(int next);
    void update_state();
    void queue_update();
    void open(const QUrl& address);
    void play();
    void pause();
    void stop();
    void show_time();
    // The play button says what pressing it does.
    void name_play_button(bool running) {
        const QString name = running ? QStringLiteral("暂停") : QStringLiteral("播放");
        play_button->setAccessibleName(name);
        play_button->setToolTip(name);
    }
    void seek_to(qint64 position);
};

void MediaPlayer::Impl::build_face() {
    auto* layout = new QHBoxLayout(&self);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    play_button = new QToolButton(&self);
    play_button->setObjectName("play_pause_button");
    play_button->setIcon(self.style()->standardIcon(QStyle::SP_MediaPlay));
    play_button->setAutoRaise(true);
    play_button->setFocusPolicy(Qt::TabFocus);
    name_play_button(false);
    stop_button = new QToolButton(&self);
    stop_button->setObjectName("stop_button");
    stop_button->setIcon(self.style()->standardIcon(QStyle::SP_MediaStop));
    stop_button->setAutoRaise(true);
    stop_button->setFocusPolicy(Qt::TabFocus);
    stop_button->setAccessibleName(QStringLiteral("停止"));
    stop_button->setToolTip(QStringLiteral("停止"));

    seek_bar = new QSlider(Qt::Horizontal, &self);
    seek_bar->setObjectName("seek_bar");
    // In whole seconds, the unit a screen reader says.
    seek_bar->setRange(0, 0);
    seek_bar->setSingleStep(5); // Left and Right: 5 s
    seek_bar->setPageStep(60);  // Page Up and Page Down, or a click beside the handle: 60 s
    seek_bar->setFocusPolicy(Qt::StrongFocus);

    time_label = new QLabel(&self);
    time_label->setObjectName("time_label");
    time_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    time_label->setText(clock_text(0));
    seek_bar->setAccessibleName(QStringLiteral("播放位置 ") + clock_text(0));
    time_label->setMinimumWidth(time_label->fontMetrics().horizontalAdvance("00:00 / 00:00") + 4);

    layout->addWidget(play_button);
    layout->addWidget(stop_button);
    layout->addWidget(seek_bar, 1);
    layout->addWidget(time_label);

    QObject::connect(play_button, &QToolButton::clicked, &self,
                     [this] { self.toggle_play_pause(); });
    QObject::connect(stop_button, &QToolButton::clicked, &self, [this] { stop(); });
    QObject::connect(seek_bar, &QSlider::sliderMoved, &self, [this](int) { show_time(); });
    QObject::connect(seek_bar, &QSlider::sliderReleased, &self,
                     [this] { seek_to(qint64(seek_bar->value()) * 1000); });
    // A click on the groove, a key or the wheel: the slider has taken its new
    // position already. A drag seeks once, when it is released.
    QObject::connect(seek_bar, &QSlider::actionTriggered, &self, [this](int action) {
        if (action != QAbstractSlider::SliderMove || !seek_bar->isSliderDown())
            seek_to(qint64(seek_bar->sliderPosition()) * 1000);
    });
    QObject::connect(&player, &PlaybackEngine::durationChanged, &self, [this](qint64 duration) {
        // To the nearest second: an estimated length of 999 ms is one second long.
        seek_bar->setRange(0, int(std::clamp<qint64>((duration + 500) / 1000, 0, INT_MAX)));
        show_time();
    });
    QObject::connect(&player, &PlaybackEngine::positionChanged, &self, [this](qint64 position) {
        if (!seek_bar->isSliderDown())
            seek_bar->setValue(int(std::clamp<qint64>(position / 1000, 0, INT_MAX)));
        show_time();
    });
}

void MediaPlayer::Impl::seek_to(qint64 position) {
    if (player.isSeekable())
        player.setPosition(position);
}

void MediaPlayer::Impl::show_time() {
    qint64 position =
        seek_bar->isSliderDown() ? qint64(seek_bar->value()) * 1000 : player.position();
    qint64 duration = player.duration();
    QString text = clock_text(position);
    if (duration > 0)
        text += QStringLiteral(" / ") + clock_text(duration);
    time_label->setText(text);
    const QString name = QStringLiteral("播放位置 ") + text;
    if (seek_bar->accessibleName() != name)
        seek_bar->setAccessibleName(name);
}

void MediaPlayer::Impl::set_state(int next) {
    if (next == state)
        return;
    state = next;
    bool running = next == Playing || next == Buffering || next == Transitioning;
    play_button->setIcon(
        self.style()->standardIcon(running ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    name_play_button(running);
    emit self.PlayStateChange(next);
}

// The engine reports its playback state and its media status separately, one
// after the other (at the end of the media "stopped" comes before "end of
// media"), so each report only queues one look at both.
void MediaPlayer::Impl::queue_update() {
    if (update_queued)
        return;
    update_queued = true;
    QTimer::singleShot(0, &self, [this] {
        update_queued = false;
        update_state();
    });
}

void MediaPlayer::Impl::update_state() {
    if (!assigned)
        return;
    PlaybackEngine::MediaStatus status = player.mediaStatus();
    PlaybackEngine::PlaybackState playback = player.playbackState();

    if (!failed && !source.isEmpty() &&
        (status == PlaybackEngine::InvalidMedia || player.hasError())) {
        failed = true;
        opening = false;
    }

    int next = Stopped;
    if (source.isEmpty() || failed) {
        next = Stopped;
    } else if (playback == PlaybackEngine::PausedState) {
        next = Paused;
    } else if (playback == PlaybackEngine::PlayingState) {
        played = true;
        if (status == PlaybackEngine::LoadingMedia || status == PlaybackEngine::NoMedia)
            next = Transitioning;
        else
            next = Playing;
    } else if (status == PlaybackEngine::EndOfMedia) {
        if (played && !ended) {
            // Report the end once, then settle on stopped.
            ended = true;
            next = MediaEnded;
            QTimer::singleShot(0, &self, [this] {
                if (state == MediaEnded)
                    set_state(Stopped);
            });
        } else {
            next = state == MediaEnded ? MediaEnded : Stopped;
        }
    } else if (played || user_stopped) {
        next = Stopped;
    } else if (status == PlaybackEngine::LoadingMedia) {
        next = Transitioning;
    } else {
        next = Ready;
    }
    set_state(next);

    bool open_now = status == PlaybackEngine::LoadedMedia;
    if (opening && !failed && open_now) {
        opening = false;
        emit self.OpenStateChange(MediaOpen);
    }
}

void MediaPlayer::Impl::open(const QUrl& address) {
    assigned = true;
    failed = played = user_stopped = ended = false;
    source = address;
    opening = !address.isEmpty();
    if (address.isLocalFile() && !QFileInfo(address.toLocalFile()).isFile()) {
        // A file that is not there fails at once, without asking the engine.
        player.setSource(QUrl());
        failed = true;
        opening = false;
        return;
    }
    // Assigning the same address again opens it anew.
    if (player.source() == address)
        player.setSource(QUrl());
    player.setSource(address);
}

void MediaPlayer::Impl::play() {
    if (!assigned || source.isEmpty())
        return;
    if (failed) {
        // Try the address once more; a second failure settles on stopped again.
        open(source);
    }
    user_stopped = false;
    ended = false;
    if (!failed)
        player.play();
    update_state();
}

void MediaPlayer::Impl::pause() {
    if (failed || player.playbackState() != PlaybackEngine::PlayingState)
        return;
    player.pause();
    update_state();
}

void MediaPlayer::Impl::stop() {
    if (!assigned)
        return;
    user_stopped = true;
    ended = false;
    if (!failed)
        player.stop();
    update_state();
}

MediaPlayer::MediaPlayer(QWidget* parent) : QWidget(parent) {
    impl_ = new Impl(*this);
    impl_->player.setVolume(0.5f);
    impl_->build_face();
    connect(&impl_->player, &PlaybackEngine::playbackStateChanged, this,
            [this](PlaybackEngine::PlaybackState playback) {
                // Noted at once: a short file can start and end between two looks.
                if (playback == PlaybackEngine::PlayingState)
                    impl_->played = true;
                impl_->queue_update();
            });
    connect(&impl_->player, &PlaybackEngine::mediaStatusChanged, this,
            [this] { impl_->queue_update(); });
    connect(&impl_->player, &PlaybackEngine::errorOccurred, this, [this] { impl_->queue_update(); });
    resize(sizeHint());
}

MediaPlayer::~MediaPlayer() {
    // The engine may still report while it shuts down; nothing listens any more.
    impl_->player.disconnect(this);
    if (!impl_->failed)
        impl_->player.stop();
    // Whoever watches the engine heard the stop; nothing more reaches
    // them while it goes.
    impl_->player.disconnect();
    delete impl_;
}

QSize MediaPlayer::sizeHint() const {
    return {312, 45};
}

void MediaPlayer::setURL(const Text& address, const std::filesystem::path& native) {
    impl_->url = address;
    QUrl source = media_address(address, native);
    impl_->open(source);
    impl_->set_state(source.isEmpty() ? Stopped : Transitioning);
    emit OpenStateChange(MediaChanging);
    if (impl_->auto_start && !source.isEmpty() && !impl_->failed)
        impl_->player.play();
    impl_->update_state();
}

Text MediaPlayer::URL() const {
    return impl_->url;
}

int MediaPlayer::playState() const {
    return impl_->state;
}

PlayerControls& MediaPlayer::controls() {
    return impl_->controls;
}

bool MediaPlayer::autoStart() const {
    return impl_->auto_start;
}

void MediaPlayer::setAutoStart(bool on) {
    impl_->auto_start = on;
}

PlaybackEngine& MediaPlayer::engine() {
    return impl_->player;
}

void MediaPlayer::toggle_play_pause() {
    if (impl_->state == Playing || impl_->state == Buffering || impl_->state == Transitioning)
        impl_->pause();
    else
        impl_->play();
}

int MediaPlayer::volume() const {
    return qRound(impl_->player.volume() * 100.0f);
}

void PlayerControls::play() {
    player_.impl_->play();
}

void PlayerControls::pause() {
    player_.impl_->pause();
}

void PlayerControls::stop() {
    player_.impl_->stop();
}

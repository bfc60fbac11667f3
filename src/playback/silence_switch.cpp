#include "playback/silence_switch.hpp"

#include "playback/listening_control.hpp"
#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QEvent>
#include <QSignalBlocker>

namespace {

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

SilenceSwitch::SilenceSwitch(ListeningControl& control, QWidget* parent)
    : QCheckBox(parent), control_(control) {
    setObjectName("skip_silence_box");
    setAccessibleName(ui("跳过静音"));
    setToolTip(ui("把本书每段超过四分之一秒的静音缩短到四分之一秒；后面是本集跳过的时间"));
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QCheckBox::toggled, this, [this](bool on) { control_.set_skip_silence(on); });
    connect(&control_, &ListeningControl::changed, this, [this] { show_state(); });
    connect(&control_.player().engine(), &PlaybackEngine::silenceSkippedChanged, this,
            [this](qint64 ms) { show_cut(ms); });
    keep_widest_room();
    show_state();
}

void SilenceSwitch::show_state() {
    const QSignalBlocker quiet(this);
    setChecked(control_.session().skip_silence());
    show_cut(control_.player().engine().silenceSkipped());
}

// Whole seconds, "-1:05", once at least one was cut.
void SilenceSwitch::show_cut(qint64 ms) {
    const qint64 seconds = ms / 1000;
    QString caption = ui("跳过静音");
    if (seconds > 0)
        caption += QStringLiteral(" -%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10,
                                                                   QLatin1Char('0'));
    if (caption != text())
        setText(caption);
}

// The size the caption had under the old font is kept until the caption
// changes: it is set anew.
void SilenceSwitch::changeEvent(QEvent* event) {
    QCheckBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        setText(QString());
        keep_widest_room();
        show_cut(control_.player().engine().silenceSkipped());
    }
}

// As wide as the widest caption it shows ("跳过静音 -88:88"), so that neither
// it nor its neighbours move as the time cut grows.
void SilenceSwitch::keep_widest_room() {
    const QString shown = text();
    setMinimumWidth(0);
    setMaximumWidth(QWIDGETSIZE_MAX);
    setText(ui("跳过静音 -88:88"));
    setFixedWidth(sizeHint().width());
    setText(shown);
}

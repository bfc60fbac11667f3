#include "window/now_playing_line.hpp"

#include "session/book_session.hpp"
#include "text/qt_text.hpp"
#include "widgets/dialogs.hpp"

#include <QStringList>

NowPlayingLine::NowPlayingLine(const BookSession& session, QWidget* parent)
    : RunProgressLine(parent), session_(session) {
    setObjectName(QStringLiteral("now_playing"));
    setAccessibleName(QStringLiteral("正在播放"));
    connect(&session, &BookSession::playingChanged, this, [this] { show_playing(); });
    show_playing();
}

void NowPlayingLine::show_playing() {
    show_line(to_qstring(session_.now_playing()));
}

QString window_title(const QString& now_playing, const QString& run_tally) {
    QStringList parts;
    for (const QString& part : {now_playing, run_tally, program_title()})
        if (!part.isEmpty())
            parts << part;
    return parts.join(QStringLiteral(" - "));
}

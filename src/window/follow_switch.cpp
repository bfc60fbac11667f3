#include "window/follow_switch.hpp"

#include "session/book_session.hpp"

#include <QSignalBlocker>

FollowSwitch::FollowSwitch(BookSession& session, QWidget* parent)
    : QCheckBox(QStringLiteral("追更"), parent), session_(session) {
    setObjectName(QStringLiteral("follow_switch"));
    setAccessibleName(QStringLiteral("追更"));
    setToolTip(QStringLiteral("追更：这本书的新集数自动下载"));
    connect(this, &QCheckBox::toggled, this, [this](bool on) { session_.follow(on); });
    connect(&session_, &BookSession::bookShown, this, [this] { show_state(); });
    connect(&session_, &BookSession::followedChanged, this, [this] { show_state(); });
    connect(&session_, &BookSession::shownBookChanged, this, [this] { show_state(); });
    show_state();
}

void FollowSwitch::show_state() {
    const QSignalBlocker quiet(this);
    setEnabled(session_.can_follow());
    setChecked(session_.following());
}

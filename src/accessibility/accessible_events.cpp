#include "accessibility/accessible_events.hpp"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPointer>
#include <QLibraryInfo>
#include <QVersionNumber>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

std::vector<QObject*> quiet_sources; // one entry per QuietAccessibleChanges alive
QAccessible::UpdateHandler handed_on = nullptr;
bool watching = false;

bool quiet(const QAccessibleEvent* event) {
    const QAccessible::Event type = event->type();
    if (type != QAccessible::ValueChanged && type != QAccessible::NameChanged &&
        type != QAccessible::DescriptionChanged)
        return false;
    return std::find(quiet_sources.begin(), quiet_sources.end(), event->object()) !=
           quiet_sources.end();
}

// The bridge of Qt 6.4 puts a reference to the object where the new name or
// description belongs.
bool bridge_sends_object_for_text() {
    return QLibraryInfo::version() < QVersionNumber(6, 5);
}

// The change as the accessibility bus carries it: the property, two unused
// numbers, the new text and (empty) properties.
void send_text_change(QAccessibleEvent* event) {
    QDBusConnection bus(QStringLiteral("a11y"));
    QAccessibleInterface* face = event->accessibleInterface();
    if (!bus.isConnected() || !face)
        return;
    const bool name = event->type() == QAccessible::NameChanged;
    const QString text = face->text(name ? QAccessible::Name : QAccessible::Description);
    const QString path = QStringLiteral("/org/a11y/atspi/accessible/%1").arg(QAccessible::uniqueId(face));
    QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.a11y.atspi.Event.Object"),
                                                     QStringLiteral("PropertyChange"));
    signal << (name ? QStringLiteral("accessible-name") : QStringLiteral("accessible-description")) << 0
           << 0 << QVariant::fromValue(QDBusVariant(text)) << QVariantMap();
    bus.send(signal);
}

// The object a screen reader was told focused last.
QPointer<QObject> told_focused;

// `object` is `focused`, or the box inside it (a spin box's text).
bool is_or_inside(const QObject* object, const QObject* focused) {
    return focused && object && (object == focused || object->parent() == focused);
}

// A text box selects its text as it takes the focus and drops the selection as
// it loses it, before a screen reader hears of the focus moving: the reader
// would say the text, or "unselected", on top of what it says for the focus,
// or take a new box's caret for the focus and then not say the box at all.
// Changes of caret and selection count only in the box that has the focus and
// was told so.
bool apart_from_focus(const QAccessibleEvent* event) {
    const QAccessible::Event type = event->type();
    if (type != QAccessible::TextSelectionChanged && type != QAccessible::TextCaretMoved)
        return false;
    const QObject* object = event->object();
    return !is_or_inside(object, QGuiApplication::focusObject()) || !is_or_inside(object, told_focused);
}

void on_event(QAccessibleEvent* event) {
    if (quiet(event) || apart_from_focus(event))
        return;
    if (event->type() == QAccessible::Focus)
        told_focused = event->object();
    const QAccessible::Event type = event->type();
    if (bridge_sends_object_for_text() &&
        (type == QAccessible::NameChanged || type == QAccessible::DescriptionChanged)) {
        send_text_change(event);
        return;
    }
    // To the bridge, or to a handler installed before this one.
    if (handed_on) {
        handed_on(event);
        return;
    }
    // Handlers installed after this one keep their place.
    const QAccessible::UpdateHandler installed = QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(installed);
}

} // namespace

void watch_accessible_events() {
    if (std::exchange(watching, true))
        return;
    handed_on = QAccessible::installUpdateHandler(on_event);
}

QuietAccessibleChanges::QuietAccessibleChanges(QObject* source) : source_(source) {
    quiet_sources.push_back(source);
}

QuietAccessibleChanges::~QuietAccessibleChanges() {
    quiet_sources.erase(std::find(quiet_sources.begin(), quiet_sources.end(), source_));
}

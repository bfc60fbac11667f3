#include "widgets/announcer.hpp"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

class AccessibleAnnouncer : public QAccessibleWidget {
  public:
    explicit AccessibleAnnouncer(Announcer* announcer)
        : QAccessibleWidget(announcer, QAccessible::Notification) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<Announcer*>(widget())->message()
                                      : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* make_accessible(const QString& key, QObject* object) {
    if (key == QLatin1String("Announcer") && object->isWidgetType())
        return new AccessibleAnnouncer(static_cast<Announcer*>(object));
    return nullptr;
}

} // namespace

Announcer::Announcer(QWidget* window) : QWidget(window) {
    static const bool installed = (QAccessible::installFactory(make_accessible), true);
    (void)installed;
    setObjectName(QStringLiteral("announcer"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(0, 0);
    hide();
}

void Announcer::announce(const QString& message) {
    if (message.isEmpty())
        return;
    message_ = message;
    hide();
    show();
}

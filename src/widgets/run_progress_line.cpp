#include "widgets/run_progress_line.hpp"

#include "accessibility/accessible_events.hpp"

#include <QAccessible>
#include <QAccessibleWidget>

#include <optional>

namespace {

// The line speaks as the status bar it is; its name is the whole line.
class AccessibleRunLine : public QAccessibleWidget {
  public:
    explicit AccessibleRunLine(RunProgressLine* line)
        : QAccessibleWidget(line, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override {
        const auto* line = static_cast<RunProgressLine*>(widget());
        if (t == QAccessible::Name)
            return line->line().isEmpty() ? line->accessibleName() : line->line();
        if (t == QAccessible::Description)
            return line->accessibleName();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* make_accessible(const QString& key, QObject* object) {
    if (key == QLatin1String("RunProgressLine") && object->isWidgetType())
        return new AccessibleRunLine(static_cast<RunProgressLine*>(object));
    return nullptr;
}

} // namespace

RunProgressLine::RunProgressLine(QWidget* parent) : QLabel(parent) {
    static const bool installed = (QAccessible::installFactory(make_accessible), true);
    (void)installed;
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QString::fromUtf8("下载进度"));
}

void RunProgressLine::show_line(const QString& line, bool worth_telling) {
    if (line == line_)
        return;
    line_ = line;
    setToolTip(line);
    std::optional<QuietAccessibleChanges> quiet;
    if (!worth_telling)
        quiet.emplace(this);
    fit();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void RunProgressLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    const QuietAccessibleChanges quiet(this); // the same line, cut elsewhere
    fit();
}

void RunProgressLine::fit() {
    setText(fontMetrics().elidedText(line_, Qt::ElideRight, contentsRect().width()));
}

QSize RunProgressLine::minimumSizeHint() const {
    const QMargins around = contentsMargins();
    return {0, fontMetrics().height() + around.top() + around.bottom() + 2 * frameWidth()};
}

QSize RunProgressLine::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 20, minimumSizeHint().height()};
}

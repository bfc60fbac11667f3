#include "widgets/accessible_controls.hpp"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QVariant>

#include <algorithm>

namespace {

const char* const value_text_property = "accessibleValueText";

// A single-line box: one line, which is its whole text wherever it is asked
// for, its attributes one run over it all (see attributes()).
class AccessibleTextBox : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
  public:
    explicit AccessibleTextBox(QLineEdit* box) : QAccessibleWidget(box, QAccessible::EditableText) {
        addControllingSignal(QStringLiteral("textChanged(const QString&)"));
        addControllingSignal(QStringLiteral("returnPressed()"));
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface && !box()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The caption names the box and the text is its value; the description is
    // the box's own or its placeholder, never the text again.
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return shown();
        QString said = QAccessibleWidget::text(t);
        if (said.isEmpty() && t == QAccessible::Description)
            said = box()->placeholderText();
        return said;
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value && !box()->isReadOnly())
            box()->setText(text);
        else
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !box()->isReadOnly();
        s.readOnly = box()->isReadOnly();
        s.passwordEdit = box()->echoMode() != QLineEdit::Normal;
        s.selectableText = true;
        return s;
    }

    // The text.
    QString text(int start, int end) const override {
        start = std::clamp(start, 0, characterCount());
        end = end < 0 ? characterCount() : std::clamp(end, start, characterCount());
        return shown().mid(start, end - start);
    }
    int characterCount() const override { return int(shown().size()); }
    int cursorPosition() const override { return box()->cursorPosition(); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* start,
                         int* end) const override {
        if (whole_line(boundary))
            return whole(start, end);
        return QAccessibleTextInterface::textAtOffset(at(offset), boundary, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* start,
                             int* end) const override {
        if (whole_line(boundary))
            return nothing(start, end); // one line: none before it
        return QAccessibleTextInterface::textBeforeOffset(at(offset), boundary, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* start,
                            int* end) const override {
        if (whole_line(boundary))
            return nothing(start, end);
        return QAccessibleTextInterface::textAfterOffset(at(offset), boundary, start, end);
    }

    // The selection: one at most.
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !box()->hasSelectedText())
            return;
        *start = box()->selectionStart();
        *end = *start + int(box()->selectedText().size());
    }
    int selectionCount() const override { return box()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0)
            box()->deselect();
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0)
            box()->setSelection(start, end - start);
    }
    QRect characterRect(int offset) const override {
        const QString all = box()->text();
        const QFontMetrics metrics = box()->fontMetrics();
        const QRect caret = box()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const int before = metrics.horizontalAdvance(all.left(offset));
        const int here = offset < all.size() ? metrics.horizontalAdvance(all.at(offset)) : 1;
        const int shift = before - metrics.horizontalAdvance(all.left(box()->cursorPosition()));
        const QRect local(caret.center().x() + shift, caret.top(), here, caret.height());
        return QRect(box()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return box()->cursorPositionAt(box()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int) override { box()->setCursorPosition(start); }
    // No attributes, in one run over the whole text. A screen reader reads the
    // line at the caret, and the selection, in the stretches of these runs and
    // ends where the last run ends; Qt's boxes answer an empty run at each
    // offset, so what was read stopped one character short.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    // Editing.
    void deleteText(int start, int end) override { replaceText(start, end, {}); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        QString all = box()->text();
        start = std::clamp(start, 0, int(all.size()));
        end = std::clamp(end, start, int(all.size()));
        box()->setText(all.replace(start, end - start, text));
        box()->setCursorPosition(start + int(text.size()));
    }

  private:
    QLineEdit* box() const { return static_cast<QLineEdit*>(widget()); }
    // What a screen reader may read of it: nothing of a password.
    QString shown() const {
        return box()->echoMode() == QLineEdit::Normal ? box()->text() : QString();
    }
    static bool whole_line(QAccessible::TextBoundaryType boundary) {
        return boundary == QAccessible::LineBoundary || boundary == QAccessible::ParagraphBoundary ||
               boundary == QAccessible::NoBoundary;
    }
    // The caret's offset for -2, as Qt's own boxes take it.
    int at(int offset) const { return offset == -2 ? cursorPosition() : offset; }
    QString whole(int* start, int* end) const {
        const QString all = shown();
        *start = all.isEmpty() ? -1 : 0;
        *end = all.isEmpty() ? -1 : int(all.size());
        return all;
    }
    static QString nothing(int* start, int* end) {
        *start = *end = -1;
        return {};
    }
};

// A slider whose value reads as words set for it.
class AccessibleSlider : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit AccessibleSlider(QAbstractSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {
        addControllingSignal(QStringLiteral("valueChanged(int)"));
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        const QString words = slider()->property(value_text_property).toString();
        return words.isEmpty() ? QString::number(slider()->value()) : words;
    }
    QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant& value) override { slider()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->singleStep(); }

  private:
    QAbstractSlider* slider() const { return static_cast<QAbstractSlider*>(widget()); }
};

// A combo box: its purpose its name, the choice its value; the list of choices
// its one child, as Qt's own.
class AccessibleChoice : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit AccessibleChoice(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    // The choice shown, as a read-only text: a screen reader reads a combo
    // box's value there when the box offers no selection of its own.
    QString text(int start, int end) const override {
        const QString shown = box()->currentText();
        start = std::clamp(start, 0, int(shown.size()));
        end = end < 0 ? int(shown.size()) : std::clamp(end, start, int(shown.size()));
        return shown.mid(start, end - start);
    }
    int characterCount() const override { return int(box()->currentText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return box()->accessibleName().isEmpty() ? box()->currentText() : box()->accessibleName();
        case QAccessible::Value:
            return box()->currentText();
        case QAccessible::Description:
            // Its own description only: the tooltip repeats the name.
            return box()->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }
    int childCount() const override { return box()->view() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && box()->view() ? QAccessible::queryAccessibleInterface(box()->view())
                                           : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && box()->view() && child->object() == box()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view() && box()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

  private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* make_accessible(const QString& key, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    if (key == QLatin1String("QLineEdit"))
        return new AccessibleTextBox(static_cast<QLineEdit*>(object));
    if (key == QLatin1String("QSlider"))
        return new AccessibleSlider(static_cast<QAbstractSlider*>(object));
    if (key == QLatin1String("QComboBox") && !static_cast<QComboBox*>(object)->isEditable())
        return new AccessibleChoice(static_cast<QComboBox*>(object));
    return nullptr;
}

class CurrentOnFocus : public QObject {
  public:
    explicit CurrentOnFocus(QAbstractItemView* view) : QObject(view), view_(view) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != view_ || event->type() != QEvent::FocusIn ||
            static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason || !view_->model() ||
            view_->model()->rowCount() == 0)
            return false;
        if (!view_->currentIndex().isValid())
            make_current();
        // Once the view itself was told focused, its current item is, as when
        // the current item changes under the focus.
        QTimer::singleShot(0, view_, [view = view_] {
            const QModelIndex current = view->currentIndex();
            if (view->hasFocus() && current.isValid())
                QMetaObject::invokeMethod(view, "currentChanged", Q_ARG(QModelIndex, current),
                                          Q_ARG(QModelIndex, current));
        });
        return false;
    }

  private:
    // The first item chosen, else the first; quietly: an item becoming
    // current here is no choice of it.
    void make_current() {
        QItemSelectionModel* selection = view_->selectionModel();
        const QModelIndexList chosen = selection->selectedIndexes();
        const QModelIndex item = chosen.isEmpty() ? view_->model()->index(0, 0)
                                                  : *std::min_element(chosen.begin(), chosen.end());
        {
            const QSignalBlocker quiet(selection);
            selection->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
        }
        view_->viewport()->update();
    }
    QAbstractItemView* view_;
};

} // namespace

void read_current_item_on_focus(QAbstractItemView* view) {
    view->installEventFilter(new CurrentOnFocus(view));
}

void install_accessible_controls() {
    static const bool installed = (QAccessible::installFactory(make_accessible), true);
    (void)installed;
}

void set_accessible_value_text(QWidget* control, const QString& text) {
    if (control->property(value_text_property).toString() == text)
        return;
    control->setProperty(value_text_property, text);
}

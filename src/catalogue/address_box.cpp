#include "catalogue/address_box.hpp"

#include <QKeyEvent>

void AddressBox::keyPressEvent(QKeyEvent* event) {
    typing_ = !event->matches(QKeySequence::Paste);
    QLineEdit::keyPressEvent(event);
    typing_ = false;
}

void AddressBox::inputMethodEvent(QInputMethodEvent* event) {
    typing_ = true;
    QLineEdit::inputMethodEvent(event);
    typing_ = false;
}

#include "window/address_box.hpp"

#include <QKeyEvent>

AddressBox::AddressBox(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    typing_pause_.setSingleShot(true);
    typing_pause_.setInterval(typing_pause_ms);
    connect(&typing_pause_, &QTimer::timeout, this, [this] { want_load(true); });
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (quiet_)
            return;
        emit addressChanged();
        if (typing_) {
            typing_pause_.start();
        } else {
            typing_pause_.stop();
            want_load(false);
        }
    });
    connect(this, &QLineEdit::returnPressed, this, [this] {
        typing_pause_.stop();
        want_load(false);
    });
}

void AddressBox::want_load(bool after_typing) {
    after_typing_ = after_typing;
    emit loadWanted();
}

void AddressBox::set_text_quietly(const QString& text) {
    quiet_ = true;
    setText(text);
    quiet_ = false;
}

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

#pragma once
// The address box: an edit box that tells a change the user types apart from a
// paste or a change made by the program.
#include <QLineEdit>

class AddressBox : public QLineEdit {
    Q_OBJECT
  public:
    using QLineEdit::QLineEdit;

    // True while a key the user typed (not the paste key) or input-method text
    // changes the text.
    bool typing() const { return typing_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    bool typing_ = false;
};

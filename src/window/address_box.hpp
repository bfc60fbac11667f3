#pragma once
// The address box: an edit box that tells a change the user types apart from a
// paste or a change made by the program. A paste or Enter asks for the page at
// once; typed keys ask once typing pauses; a change made by the program asks
// for nothing.
#include <QLineEdit>
#include <QTimer>

class AddressBox : public QLineEdit {
    Q_OBJECT
  public:
    // How long typing must pause before the typed address loads.
    static constexpr int typing_pause_ms = 600;

    explicit AddressBox(const QString& text, QWidget* parent = nullptr);

    // True while a key the user typed (not the paste key) or input-method text
    // changes the text.
    bool typing() const { return typing_; }
    // Typed keys wait for the pause.
    bool waiting() const { return typing_pause_.isActive(); }
    // Sets the text without asking for a load.
    void set_text_quietly(const QString& text);
    // Forgets a load waiting for the pause.
    void stop_waiting() { typing_pause_.stop(); }
    // The load wanted last came after a pause in typing (not a paste or Enter).
    bool load_after_typing() const { return after_typing_; }

  signals:
    // The address changed: what stood before no longer stands.
    void addressChanged();
    // Load the page of the address in the box now.
    void loadWanted();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    void want_load(bool after_typing);

    bool typing_ = false;
    bool after_typing_ = false;
    bool quiet_ = false;
    QTimer typing_pause_;
};

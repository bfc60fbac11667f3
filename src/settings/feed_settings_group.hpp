#pragma once
// The settings window's group for listening on the home network: the switch
// "局域网收听", the port "收听端口", and a button that makes a new token, so
// that every address given out before stops working.
#include <QGroupBox>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

class FeedSettingsGroup : public QGroupBox {
    Q_OBJECT
  public:
    explicit FeedSettingsGroup(QWidget* parent = nullptr);

    // Writes the switch and the port, each only when changed; false when a
    // write failed.
    bool save() const;

    QCheckBox* switch_box() const { return switch_box_; }
    QSpinBox* port_box() const { return port_box_; }
    QPushButton* renew_button() const { return renew_button_; }

  private:
    void renew_token();

    QCheckBox* switch_box_;
    QSpinBox* port_box_;
    QPushButton* renew_button_;
    QLabel* renewed_; // says the old addresses stopped working
};

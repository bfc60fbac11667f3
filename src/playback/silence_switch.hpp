#pragma once
// "跳过静音": the check box that cuts every pause of the book's episodes to a
// quarter second (kept per book); once a second was cut from the episode
// playing it says how much, "跳过静音 -0:42".
#include <QCheckBox>

class ListeningControl;

class SilenceSwitch : public QCheckBox {
    Q_OBJECT
  public:
    SilenceSwitch(ListeningControl& control, QWidget* parent = nullptr);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void show_state();
    void show_cut(qint64 ms);
    void keep_widest_room();

    ListeningControl& control_;
};

#pragma once
// One line that tells how a long run goes ("3/20 集 · 512 KB/s · 剩余 1:23"):
// elided to its width, its whole text in the tooltip, reachable by keyboard
// and, to a screen reader, the window's status bar whose name is the line.
#include <QLabel>

class RunProgressLine : public QLabel {
    Q_OBJECT
  public:
    explicit RunProgressLine(QWidget* parent = nullptr);
    // Empty hides nothing: the line keeps its place and shows no text. A line
    // that is not `worth_telling` (only the speed or the time left moved)
    // changes without a word to a screen reader that has the line in focus.
    void show_line(const QString& line, bool worth_telling = true);
    QString line() const { return line_; }

    // One line of the font, whatever the text: a long line is elided, never
    // widens the window.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fit();
    QString line_;
};

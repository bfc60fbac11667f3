#pragma once
// The line beside the run line that says what plays, whichever list is shown:
// "正在播放《测试书名》第36集" (or "已暂停…"); empty while nothing is open. It
// keeps its one line of room, so nothing moves when it fills or empties.
#include "widgets/run_progress_line.hpp"

class BookSession;

class NowPlayingLine : public RunProgressLine {
  public:
    NowPlayingLine(const BookSession& session, QWidget* parent = nullptr);
    void show_playing();

  private:
    const BookSession& session_;
};

// The window's title: what plays, the download run's count (either may be
// empty), and the program's name.
QString window_title(const QString& now_playing, const QString& run_tally);

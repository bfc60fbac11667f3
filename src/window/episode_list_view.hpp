#pragma once
// The episode list: the session's episodes through the one table adapter. The
// keys move the current row without playing it: Enter plays the current row,
// Space plays it or pauses and resumes the one playing; a click, or a double
// click, plays the row clicked. The current row is the user's: only the user's
// keys, a click, the user's next/previous and a new list move it.
#include "session/episode.hpp"

#include <QObject>

class BookSession;
class EpisodeTable;
class Narration;
class QWidget;
class ReportList;

class EpisodeListView : public QObject {
    Q_OBJECT
  public:
    EpisodeListView(BookSession& session, QWidget* window);

    ReportList* list() const { return list_; }
    EpisodeTable* table() const { return table_; }
    // The user's acts on the list, handed to the session and said.
    void bind_acts(Narration& narration);
    // The list's current row (0: none).
    EpisodeId current_row() const;
    // The window itself moves the current row now.
    const bool& showing_current() const { return showing_current_; }

  private:
    void play_chosen_row();
    void make_first_row_current();
    void show_current(EpisodeId id);

    BookSession& session_;
    EpisodeTable* table_;
    ReportList* list_;
    bool showing_current_ = false;
};

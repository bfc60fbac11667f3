#pragma once
// What the window says aloud to a screen reader, through its announcer, without
// moving the focus: the book that arrives (once), which episode plays or pauses
// after a key asked for it, the query's count, the run's count as episodes end,
// and its end.
#include <QObject>
#include <QString>

#include <cstdint>

using EpisodeId = std::uint64_t;

class Announcer;
class BookSession;
struct BookInfo;

class Narration : public QObject {
  public:
    Narration(const BookSession& session, Announcer* announcer, QObject* parent);

    void tell_book(const BookInfo& book);
    // The player takes a moment to follow a key: `pausing` says what it will do.
    void tell_playing(bool pausing);
    // The queue moved on to the episode: said wherever the focus is.
    void tell_moved_on(EpisodeId id);
    void tell_listed(const QString& listed);
    // Whether the run's count differs from the one said last.
    bool run_is_news(const QString& tally) const { return tally != told_tally_; }
    // The run's count, when it is news; said unless the user reads it already.
    void tell_run(const QString& tally, bool read_already);
    void tell_run_ended();

    // A bookmark added at `where` (episode and time; empty: of a book not
    // shown), its note editor opening when `note_follows`; the reason none was;
    // a jump to the bookmark at `where`.
    void tell_bookmark_added(const QString& where, bool note_follows);
    void tell_bookmark_refused();
    void tell_jump(const QString& where);

    // After a start that brought back a kept book or the last list: which book
    // shows and what list came back, once the window is up for a screen reader.
    void tell_start();
    // A book of the library opened, with `count` episodes listed.
    void tell_book_opened(const QString& title, int count);

  private:
    QString book_words(const BookInfo& book) const;
    const BookSession& session_;
    Announcer* announcer_;
    QString told_tally_; // the run's count, as said last
    QString told_book_;  // the book, as said last
};

#include "window/narration.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/announcer.hpp"

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

QString say(const char* text) {
    return to_qstring(gbk(text));
}

// Said once the window is active and a screen reader has had a moment to read
// its title and focus, which would otherwise cut the message short.
void say_when_window_active(Announcer* announcer, const QString& message, int looks_left = 100) {
    QPointer<Announcer> alive(announcer);
    QTimer::singleShot(announcer->window()->isActiveWindow() ? 1500 : 200, announcer,
                       [alive, message, looks_left] {
                           if (!alive)
                               return;
                           if (alive->window()->isActiveWindow() || looks_left <= 0)
                               alive->announce(message);
                           else
                               say_when_window_active(alive, message, looks_left - 1);
                       });
}

} // namespace

Narration::Narration(const BookSession& session, Announcer* announcer, QObject* parent)
    : QObject(parent), session_(session), announcer_(announcer) {}

QString Narration::book_words(const BookInfo& book) const {
    QString told = to_qstring(book.title);
    if (!book.author.empty())
        told += say("，作者 ") + to_qstring(book.author);
    return book.title.empty() ? QString() : told;
}

// A book that arrives is said once: its title and author.
void Narration::tell_book(const BookInfo& book) {
    const QString told = book_words(book);
    if (book.title.empty() || told == told_book_)
        return;
    told_book_ = told;
    announcer_->announce(told);
}

void Narration::tell_playing(bool pausing) {
    const BookSession& s = session_;
    if (const Episode* episode = s.episodes().find(s.playing()))
        announcer_->announce(say(pausing ? "已暂停 " : "正在播放 ") + to_qstring(episode->label));
}

void Narration::tell_moved_on(EpisodeId id) {
    if (const Episode* episode = session_.episodes().find(id))
        announcer_->announce(say("正在播放 ") + to_qstring(episode->label));
}

void Narration::tell_listed(const QString& listed) {
    announcer_->announce(listed);
}

void Narration::tell_run(const QString& tally, bool read_already) {
    if (run_is_news(tally) && !tally.isEmpty() && !read_already)
        announcer_->announce(say("下载 ") + tally);
    told_tally_ = tally;
}

void Narration::tell_run_ended() {
    announcer_->announce(say("下载结束：") + told_tally_);
}

void Narration::tell_bookmark_added(const QString& where, bool note_follows) {
    if (where.isEmpty()) {
        announcer_->announce(say("已添加书签"));
        return;
    }
    announcer_->announce(say("已添加书签 ") + where +
                         (note_follows ? say("，可输入备注，回车保存") : QString()));
}

void Narration::tell_bookmark_refused() {
    announcer_->announce(say("没有正在播放的集，未添加书签"));
}

void Narration::tell_jump(const QString& where) {
    announcer_->announce(say("跳到书签 ") + where);
}

void Narration::tell_start() {
    const BookSession& s = session_;
    const QString book = book_words(s.book());
    QString told = book;
    if (!s.episodes().empty()) {
        const Text& list_book = s.episodes().episodes().front().book.title;
        QString list = say("上次的列表已恢复，") + QString::number(s.episodes().size()) + say(" 集");
        if (list_book != s.book().title && !list_book.empty())
            list = say("上次的列表已恢复：《") + to_qstring(list_book) + say("》") +
                   QString::number(s.episodes().size()) + say(" 集");
        told += (told.isEmpty() ? QString() : say("；")) + list;
    }
    if (told.isEmpty())
        return;
    if (!book.isEmpty())
        told_book_ = book; // the page loading again is no news
    say_when_window_active(announcer_, told);
}

void Narration::tell_book_opened(const QString& title, int count) {
    announcer_->announce(say("已打开《") + title + say("》，") + QString::number(count) + say(" 集"));
}

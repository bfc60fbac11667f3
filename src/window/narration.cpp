#include "window/narration.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/announcer.hpp"

namespace {

QString say(const char* text) {
    return to_qstring(gbk(text));
}

} // namespace

Narration::Narration(const BookSession& session, Announcer* announcer, QObject* parent)
    : QObject(parent), session_(session), announcer_(announcer) {}

// A book that arrives is said once: its title and author.
void Narration::tell_book(const BookInfo& book) {
    QString told = to_qstring(book.title);
    if (!book.author.empty())
        told += say("，作者 ") + to_qstring(book.author);
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

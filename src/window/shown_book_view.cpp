#include "window/shown_book_view.hpp"

#include "session/book_session.hpp"
#include "site/book_page.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QFile>
#include <QLabel>
#include <QPixmap>

namespace {

constexpr QSize cover_size{92, 136};

// A book known only by its folder: its title alone.
Text details_of(const BookInfo& book) {
    if (book.title.empty())
        return {};
    if (book.book_id.empty())
        return gbk("书名 ：") + book.title;
    return information_text(book);
}

} // namespace

bool loaded_book_shown(const BookSession& session) {
    const BookInfo shown = session.shown_book_info();
    return !shown.title.empty() && shown.title == session.book().title && !shown.book_id.empty();
}

bool show_shown_book(QLabel* information, QLabel* cover, const BookSession& session) {
    const BookInfo shown = session.shown_book_info();
    information->setText(to_qstring(details_of(shown)));
    QPixmap picture;
    const std::filesystem::path file = session.shown_cover_file();
    if (file.empty() || !picture.load(QFile::decodeName(file.c_str()))) {
        cover->clear();
        cover->setAccessibleName({});
        return false;
    }
    cover->setPixmap(picture.scaled(cover_size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    cover->setAccessibleName(to_qstring(shown.title));
    return true;
}

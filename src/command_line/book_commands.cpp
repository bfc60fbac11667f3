#include "command_line/book_commands.hpp"

#include "command_line/download_command.hpp"
#include "listening/listening_session.hpp"
#include "session/book_folders.hpp"
#include "session/library.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "site/book_page.hpp"
#include "site/book_page_load.hpp"
#include "site/download_paths.hpp"
#include "site/episode_address.hpp"
#include "files/files.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace fs = std::filesystem;

namespace {

fs::path beside_configuration(const char8_t* name) {
    return listening_positions_file().parent_path() / fs::path(name);
}

QJsonValue time_value(std::int64_t seconds) {
    if (seconds <= 0)
        return QJsonValue::Null;
    return QDateTime::fromSecsSinceEpoch(seconds).toString(Qt::ISODate);
}

Text json_line(const QJsonObject& object) {
    return from_qstring(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).trimmed());
}

Text or_dash(const Text& text) {
    return text.empty() ? Text("-") : text;
}

// The part of a play page address that names its book: up to the episode
// number ("…/yousheng/28946/play_28946_").
Text book_part(const Text& address) {
    const auto cut = address.rfind('_');
    return cut == Text::npos ? address : address.substr(0, cut + 1);
}

} // namespace

fs::path followed_books_file() {
    return beside_configuration(u8"追更.ini");
}

Text local_time_text(std::int64_t seconds) {
    if (seconds <= 0)
        return {};
    return from_qstring(QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

CommandOutcome followed_outcome(const FollowedBooks& books, bool json) {
    CommandOutcome outcome;
    if (json) {
        QJsonArray list;
        for (const FollowedBook& book : books.books())
            list.append(QJsonObject{{"title", to_qstring(book.title)},
                                    {"address", to_qstring(book.address)},
                                    {"save_folder", to_qstring(book.save_folder)},
                                    {"total_seen", book.total_seen},
                                    {"last_checked", time_value(books.last_checked(book.title))},
                                    {"trouble", to_qstring(book.trouble)}});
        outcome.lines.push_back(json_line(QJsonObject{{"followed", list}}));
        return outcome;
    }
    for (const FollowedBook& book : books.books())
        outcome.lines.push_back(book.title + gbk("\t共 ") + number_to_text(book.total_seen) +
                                gbk(" 集\t") + or_dash(local_time_text(books.last_checked(book.title))) +
                                "\t" + or_dash(book.trouble));
    return outcome;
}

CommandOutcome library_outcome(const FollowedBooks& books, bool json) {
    const ListeningSession listening(beside_configuration(u8"收听设置.ini"));
    const Library library(listening_positions_file().parent_path());
    const std::vector<BookFolder> folders =
        list_book_folders(effective_save_folder(read_setting(gbk("默认保存路径"))),
                          [&listening](const Text& file) { return listening.heard(file); }, library);
    CommandOutcome outcome;
    QJsonArray list;
    for (const BookFolder& folder : folders) {
        const bool followed = books.in_folder(folder.name) != nullptr;
        if (json) {
            list.append(QJsonObject{{"title", to_qstring(folder.name)},
                                    {"heard", folder.heard},
                                    {"on_disk", folder.episodes},
                                    {"followed", followed},
                                    {"last_listened", time_value(folder.last_listened)}});
            continue;
        }
        outcome.lines.push_back(folder.name + gbk("\t已听 ") + number_to_text(folder.heard) + "/" +
                                number_to_text(folder.episodes) + gbk(" 集\t") +
                                (followed ? gbk("追更") : gbk("-")) + "\t" +
                                or_dash(local_time_text(folder.last_listened)));
    }
    if (json)
        outcome.lines.push_back(json_line(QJsonObject{{"library", list}}));
    return outcome;
}

CommandOutcome unfollow_outcome(FollowedBooks& books, const Text& address_or_title) {
    CommandOutcome outcome;
    Text title;
    for (const FollowedBook& book : books.books())
        if (book.title == address_or_title ||
            (is_web_address(address_or_title) && book_part(book.address) == book_part(address_or_title)))
            title = book.title;
    if (title.empty()) {
        outcome.exit_code = exit_codes::bad_arguments;
        outcome.errors.push_back(gbk("没有追更这本书：") + address_or_title);
        return outcome;
    }
    books.unfollow(title);
    if (!books.save()) {
        outcome.exit_code = exit_codes::some_failed;
        outcome.errors.push_back(gbk("无法写入追更列表：") + text_path(followed_books_file()));
        return outcome;
    }
    outcome.lines.push_back(gbk("不再追更《") + title + gbk("》"));
    return outcome;
}

CommandOutcome follow_outcome(FollowedBooks& books, const Text& address, const Text& page_text,
                              const AccessReport& report, const Text& save_folder) {
    const BookInfo book = page_text.empty() ? BookInfo{} : cut_book_info(address, page_text);
    if (book.title.empty())
        return page_failure(address, page_text, report);
    const int total = int(text_to_number(book.episode_total));
    books.follow({book.title, address, save_folder, total, {}});
    CommandOutcome outcome;
    if (!books.find(book.title)) {
        outcome.exit_code = exit_codes::some_failed;
        outcome.errors.push_back(gbk("这本书的书名无法记入追更列表：") + book.title);
        return outcome;
    }
    if (!books.save()) {
        outcome.exit_code = exit_codes::some_failed;
        outcome.errors.push_back(gbk("无法写入追更列表：") + text_path(followed_books_file()));
        return outcome;
    }
    outcome.lines.push_back(gbk("追更《") + book.title + gbk("》（已有 ") + number_to_text(total) +
                            gbk(" 集）"));
    return outcome;
}

FollowCommand::FollowCommand(FollowedBooks& books, const CommandOptions& options, QObject* parent)
    : Command(parent), books_(books), options_(options), load_(std::make_unique<BookPageLoad>()) {
    connect(load_.get(), &BookPageLoad::pageArrived, this,
            [this](const Text& address, const Text& page_text, const AccessReport& report) {
                if (done_)
                    return;
                done_ = true;
                emit finished(follow_outcome(books_, address, page_text, report,
                                             read_setting(gbk("默认保存路径"))));
            });
}

FollowCommand::~FollowCommand() = default;

void FollowCommand::start() {
    load_->start(from_qstring(options_.operand));
}

void FollowCommand::stop() {
    if (done_)
        return;
    done_ = true;
    load_->cancel();
    CommandOutcome outcome;
    outcome.exit_code = exit_codes::stopped;
    emit finished(outcome);
}

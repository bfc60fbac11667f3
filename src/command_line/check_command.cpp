#include "command_line/check_command.hpp"

#include "command_line/book_commands.hpp"
#include "command_line/terminal_output.hpp"
#include "notify/desktop_notice.hpp"
#include "session/book_tagging.hpp"
#include "session/follow_check.hpp"
#include "settings/config_location.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

CheckReport::CheckReport(FollowCheck& check, const FollowedBooks& books, QObject* parent)
    : QObject(parent), books_(books) {
    connect(&check, &FollowCheck::episodesArrived, this, [this](const Text& title, int count) {
        arrived_[title] += count;
        emit bookArrived(title, count);
    });
    connect(&check, &FollowCheck::bookChecked, this, [this](const Text& title) {
        if (std::find(checked_.begin(), checked_.end(), title) == checked_.end())
            checked_.push_back(title);
    });
}

CommandOutcome CheckReport::outcome(bool json) const {
    CommandOutcome outcome;
    QJsonArray list;
    int total = 0;
    for (const Text& title : checked_) {
        const FollowedBook* book = books_.find(title);
        const auto at = arrived_.find(title);
        const int arrived = at == arrived_.end() ? 0 : at->second;
        const Text trouble = book ? book->trouble : Text();
        total += arrived;
        if (json) {
            list.append(QJsonObject{{"title", to_qstring(title)},
                                    {"arrived", arrived},
                                    {"total_seen", book ? book->total_seen : 0},
                                    {"trouble", to_qstring(trouble)}});
        } else if (arrived > 0) {
            outcome.lines.push_back(gbk("《") + title + gbk("》更新 ") + number_to_text(arrived) + gbk(" 集"));
        }
        if (!trouble.empty()) {
            outcome.exit_code = exit_codes::some_failed;
            outcome.errors.push_back(gbk("《") + title + gbk("》") + trouble);
        }
    }
    if (json)
        outcome.lines.push_back(from_qstring(
            QString::fromUtf8(QJsonDocument(QJsonObject{{"books", list}, {"arrived", total}})
                                  .toJson(QJsonDocument::Indented))
                .trimmed()));
    else if (total == 0 && outcome.errors.empty())
        outcome.lines.push_back(gbk("没有新的一集"));
    return outcome;
}

CheckCommand::CheckCommand(const CommandOptions& options, TerminalOutput& output, QObject* parent)
    : Command(parent), options_(options), output_(output), books_(followed_books_file()),
      library_(listening_positions_file().parent_path()),
      check_(std::make_unique<FollowCheck>(books_)),
      report_(std::make_unique<CheckReport>(*check_, books_)) {
    take_kept_covers(landing_, library_);
    check_->set_landing(&landing_);
    // One notice per book that gained episodes; without a session bus, none.
    connect(report_.get(), &CheckReport::bookArrived, this, [](const Text& title, int count) {
        send_desktop_notice(to_qstring(gbk("追更")), to_qstring(gbk("《") + title + gbk("》更新 ") +
                                                                number_to_text(count) + gbk(" 集")));
    });
    connect(check_.get(), &FollowCheck::bookChecked, this, [this](const Text& title) {
        output_.detail(gbk("已检查《") + title + gbk("》"));
    });
    connect(check_.get(), &FollowCheck::finished, this, [this] {
        if (done_)
            return;
        done_ = true;
        emit finished(report_->outcome(options_.json));
    });
}

CheckCommand::~CheckCommand() = default;

void CheckCommand::start() {
    check_->check_all();
}

void CheckCommand::stop() {
    if (done_)
        return;
    done_ = true;
    check_->cancel();
    CommandOutcome outcome;
    outcome.exit_code = exit_codes::stopped;
    outcome.errors.push_back(gbk("已中断；已下载的部分留待下次继续"));
    emit finished(outcome);
}

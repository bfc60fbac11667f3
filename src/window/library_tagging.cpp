#include "window/library_tagging.hpp"

#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QAction>
#include <QListWidget>

namespace {

QString say(const char* text) {
    return to_qstring(gbk(text));
}

QString ended_text(const Text& book, int tagged, int failed, bool cancelled) {
    QString text = say("《") + to_qstring(book) + say("》");
    if (cancelled)
        return text + say("已停止写入标签，已写 ") + QString::number(tagged) + say(" 集");
    text += say("已写入标签 ") + QString::number(tagged) + say(" 集");
    if (failed > 0)
        text += say("，") + QString::number(failed) + say(" 集无法写入");
    return text;
}

} // namespace

void offer_book_tagging(QListWidget* folder_list, BookSession& session,
                        std::function<void(const QString&, bool)> tell) {
    auto* tag = new QAction(say("写入标签"), folder_list);
    tag->setObjectName(QStringLiteral("写入标签"));
    folder_list->addAction(tag);
    folder_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    QObject::connect(tag, &QAction::triggered, folder_list, [folder_list, &session, tell] {
        if (!session.tagging_book().empty()) {
            session.cancel_tagging();
            return;
        }
        const int row = folder_list->currentRow();
        if (row < 0 || row >= int(session.folders().size()) || !session.tag_book(row))
            return;
        tell(say("正在写入标签：《") + to_qstring(session.folders()[std::size_t(row)].name) +
                 say("》"),
             false);
    });
    QObject::connect(&session, &BookSession::taggingProgressed, tag,
                     [tag, tell](const Text& book, int done, int total) {
                         tag->setText(say("停止写入标签"));
                         tell(say("正在写入标签：《") + to_qstring(book) + say("》") +
                                  QString::number(done) + "/" + QString::number(total),
                              false);
                     });
    QObject::connect(&session, &BookSession::taggingEnded, tag,
                     [tag, tell](const Text& book, int tagged, int failed, bool cancelled) {
                         tag->setText(say("写入标签"));
                         tell(ended_text(book, tagged, failed, cancelled), true);
                     });
}

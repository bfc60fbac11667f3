#pragma once
// "写入标签" in the library's context menu: tags the chosen book's episodes
// for other players, with its cover file and playlist, while the window goes
// on answering. While one book is being tagged the same entry stops it; how it
// goes is told through `tell` (`done`: the last word, worth saying aloud).
#include <functional>

class BookSession;
class QListWidget;
class QString;

void offer_book_tagging(QListWidget* folder_list, BookSession& session,
                        std::function<void(const QString& text, bool done)> tell);

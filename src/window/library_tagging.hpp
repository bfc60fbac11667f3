#pragma once
// "写入标签" in the library's context menu: tags the chosen book's episodes
// for other players, with its cover file and playlist, while the window goes
// on answering. While one book is being tagged the same entry stops it; how it
// goes shows in the window's status bar.
class BookSession;
class QListWidget;

void offer_book_tagging(QListWidget* folder_list, BookSession& session);

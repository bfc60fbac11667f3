#pragma once
// The details and the cover follow the book whose list is shown: the page
// loaded when the list is its book's, the title and the library's cover for a
// book opened from the library, nothing for a book gone to the trash.
class BookSession;
class QLabel;

bool show_shown_book(QLabel* information, QLabel* cover, const BookSession& session);

// Whether a cover that arrives for the book loaded is the shown book's.
bool loaded_book_shown(const BookSession& session);

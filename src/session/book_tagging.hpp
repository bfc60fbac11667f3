#pragma once
// The session's side of tagging: the details of a book for its episodes' tags,
// from its play page, or, for a book downloaded before, from what is known of
// its folder.
#include "site/book_info.hpp"
#include "tagging/episode_landing.hpp"

#include <filesystem>

class BookPageLoad;
class Library;

BookDetails book_details(const BookInfo& info);

// Tells `landing` of every book page that `load` brings and of its cover, for
// any front end that loads pages (the window's session, a command line): the
// episodes of the book downloaded afterwards are tagged with them. Both must
// outlive the connection (it ends with either).
void feed_landing(BookPageLoad& load, EpisodeLanding& landing);

// A book known without a cover in this run takes the one `library` kept (which
// must outlive `landing`).
void take_kept_covers(EpisodeLanding& landing, const Library& library);

// A book folder's details: those of a page of the book loaded in this run,
// else those our own tags in its files give, else only its name as the title.
// The cover is the one known, else the one kept in `kept_cover` (a file).
BookDetails folder_book_details(const EpisodeLanding& landing, const std::filesystem::path& folder,
                                const Text& name, const std::filesystem::path& kept_cover);

#pragma once
// Reading a book's play page: the fields cut from its address and text, and the
// texts the main window shows for them. Pure functions, no widgets.
#include "site/book_info.hpp"
#include "text/text.hpp"

// The Catalogue host of a book page address: its host, with the port when it has one.
Text catalogue_host(const Text& address);

// Every field of the book, cut from the page address and the page text; the
// cover address is built on the address's own host. `page_text` is kept too.
BookInfo cut_book_info(const Text& address, const Text& page_text);

// The right half, in characters, of a text of GBK characters: its last n/2
// characters (rounded down). A name written twice comes out once.
Text right_half_characters(const Text& text);

// "https://" + host + "/cover/yousheng/" + title + ".gif", the title unencoded.
Text cover_address(const Text& catalogue_host, const Text& title);

// The block of text shown in the information label.
Text information_text(const BookInfo& book);

// Caption over the start box: "开始：？/共" + episode total + "集".
Text start_caption(const Text& episode_total);
// Caption over the span box.
Text span_caption();

// Home page of the site: "https://" + host + "/".
Text site_home_page(const Text& catalogue_host);

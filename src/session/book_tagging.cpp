#include "session/book_tagging.hpp"

#include "files/files.hpp"
#include "session/library.hpp"
#include "site/book_page.hpp"
#include "site/book_page_load.hpp"
#include "tagging/episode_tags.hpp"
#include "text/text.hpp"

#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

BookDetails book_details(const BookInfo& info) {
    BookDetails details;
    details.title = info.title;
    details.author = info.author;
    details.narrator = info.narrator;
    const double total = text_to_number(info.episode_total);
    details.total = total >= 1 && total < 1e7 ? int(total) : 0;
    return details;
}

BookDetails folder_book_details(const EpisodeLanding& landing, const fs::path& folder,
                                const Text& name, const fs::path& kept_cover) {
    BookDetails details;
    if (const BookDetails* known = landing.book(name)) {
        details = *known;
    } else {
        details.title = name;
        for (const FolderEntry& file : list_files_in(folder, ".mp3")) {
            if (const auto tagged = tagged_book(folder / file.native)) {
                details.title = tagged->album.empty() ? name : tagged->album;
                details.author = tagged->artist;
                details.narrator = tagged->composer;
                details.total = tagged->total;
                break;
            }
        }
    }
    if (details.cover.empty() && !kept_cover.empty()) {
        std::ifstream in(kept_cover, std::ios::binary);
        details.cover.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return details;
}

void feed_landing(BookPageLoad& load, EpisodeLanding& landing) {
    auto title = std::make_shared<Text>(); // the book of the page the cover belongs to
    QObject::connect(&load, &BookPageLoad::pageArrived, &load,
                     [&landing, title](const Text& address, const Text& page_text) {
                         if (page_text.empty())
                             return;
                         const BookInfo info = cut_book_info(address, page_text);
                         *title = info.title;
                         landing.know_book(book_details(info));
                     });
    QObject::connect(&load, &BookPageLoad::coverArrived, &load,
                     [&landing, title](const Bytes& cover) { landing.know_cover(*title, cover); });
}

void take_kept_covers(EpisodeLanding& landing, const Library& library) {
    landing.set_cover_lookup([&library](const Text& title) {
        Bytes cover;
        if (const auto file = library.cover_file(title); !file.empty()) {
            std::ifstream in(file, std::ios::binary);
            cover.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return cover;
    });
}

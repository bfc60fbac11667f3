#include "session/book_folders.hpp"

#include "files/files.hpp"
#include "session/library.hpp"
#include "site/download_paths.hpp"

#include <algorithm>

std::vector<BookFolder> list_book_folders(const Text& save_folder,
                                          const std::function<bool(const Text&)>& heard,
                                          const Library& library) {
    std::vector<BookFolder> books;
    for (const FolderEntry& folder : list_subfolders(save_folder)) {
        BookFolder book{folder.name, folder.native.filename(), 0, 0, {}, 0};
        const Text path = join_path(save_folder, folder.name);
        for (const FolderEntry& file : list_files(path, ".mp3")) {
            ++book.episodes;
            book.heard += heard(join_path(path, file.name)) ? 1 : 0;
        }
        books.push_back(std::move(book));
    }
    order_book_folders(books, library);
    return books;
}

void add_followed_books(std::vector<BookFolder>& books, const std::vector<Text>& followed,
                        const Library& library) {
    bool added = false;
    for (const Text& title : followed) {
        const Text name = book_name(title);
        if (name.empty() || std::any_of(books.begin(), books.end(),
                                        [&](const BookFolder& b) { return b.name == name; }))
            continue;
        books.push_back({name, native_path(name), 0, 0, {}, 0});
        added = true;
    }
    if (added)
        order_book_folders(books, library);
}

void order_book_folders(std::vector<BookFolder>& books, const Library& library) {
    for (BookFolder& book : books) {
        book.cover = library.cover_file(book.name);
        book.last_listened = library.last_listened(book.name);
    }
    std::stable_sort(books.begin(), books.end(), [](const BookFolder& a, const BookFolder& b) {
        return a.last_listened > b.last_listened;
    });
}

#pragma once
// The books already downloaded: one folder per book under the save folder, with
// how many of its episodes were heard.
#include "text/text.hpp"

#include <cstdint>

#include <filesystem>
#include <functional>
#include <vector>

struct BookFolder {
    Text name;                   // the folder's name as shown: the book's title
    std::filesystem::path native; // the folder's own name on disk
    int episodes = 0;            // its .mp3 files
    int heard = 0;               // of those, heard to their end
    std::filesystem::path cover; // the cover kept for the library, or empty
    std::int64_t last_listened = 0; // seconds since the epoch; 0: never
};

class Library;

// The sub-folders of the save folder, hidden ones left out: the book listened
// to last first, then those listened to before it, then the others in natural
// order. `heard` tells whether an episode's file (its path as a text) was heard;
// the library gives each its cover and when it was last listened to.
std::vector<BookFolder> list_book_folders(const Text& save_folder,
                                          const std::function<bool(const Text&)>& heard,
                                          const Library& library);

// Followed books without a folder yet (nothing downloaded) join the folders
// as books of no episodes, so that the library shows them as followed; the
// library gives them their place.
void add_followed_books(std::vector<BookFolder>& books, const std::vector<Text>& followed,
                        const Library& library);

// Gives each folder its cover and last listening time from the library and
// puts them in that order (the book listened to last first); folders listened
// to alike keep their order.
void order_book_folders(std::vector<BookFolder>& books, const Library& library);

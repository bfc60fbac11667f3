#pragma once
// The books already downloaded: one folder per book under the save folder, with
// how many of its episodes were heard.
#include "text/text.hpp"

#include <filesystem>
#include <functional>
#include <vector>

struct BookFolder {
    Text name;                   // the folder's name as shown: the book's title
    std::filesystem::path native; // the folder's own name on disk
    int episodes = 0;            // its .mp3 files
    int heard = 0;               // of those, heard to their end
};

// The sub-folders of the save folder in natural order, hidden ones left out;
// `heard` tells whether an episode's file (its path as a text) was heard.
std::vector<BookFolder> list_book_folders(const Text& save_folder,
                                          const std::function<bool(const Text&)>& heard);

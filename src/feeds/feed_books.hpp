#pragma once
// The books a feed offers, read from the disk at each request, so that an
// episode that lands is in its book's feed at once: the save folder's book
// folders, each one's episodes in the book's order, and the details and cover
// the library kept for it. Names and texts here are UTF-8, for the feed.
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct FeedPlaces {
    std::filesystem::path save_folder;    // the books' folders
    std::filesystem::path library_folder; // the library's kept covers and details
};

struct FeedEpisode {
    std::string file;  // its name on disk
    std::string title; // "第12集"
    int number = 0;    // 12; 0 when the name gives none
    std::int64_t size = 0;
    std::int64_t modified = 0; // seconds since the epoch
    int seconds = 0;           // its length; 0 when not known
};

struct FeedBook {
    std::string folder; // its folder's name on disk
    std::string title, author, narrator, status, address;
    std::string description; // the details shown for the book, one per line
    bool has_cover = false;
    std::vector<FeedEpisode> episodes; // in episode order
};

// The lengths of episode files, read from their audio headers once per file
// version (size and time) and kept; shared by the server's threads.
class EpisodeLengths {
  public:
    int seconds(const std::filesystem::path& file, std::int64_t size, std::int64_t modified);

  private:
    struct Known {
        std::int64_t size, modified;
        int seconds;
    };
    std::mutex mutex_;
    std::map<std::filesystem::path, Known> known_;
};

struct ShelfBook {
    std::string folder; // its folder's name on disk
    std::string title;  // as its page gave it, or the folder's name
};

// The save folder's book folders (hidden ones and links leading out left out),
// in natural order.
std::vector<ShelfBook> feed_shelf(const FeedPlaces& places);

// The book in that folder with the episodes on disk now, or nothing when no
// such book folder lies in the save folder. Lengths come from `lengths` when given.
std::optional<FeedBook> read_feed_book(const FeedPlaces& places, const std::string& folder,
                                       EpisodeLengths* lengths);

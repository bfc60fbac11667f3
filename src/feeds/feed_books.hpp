#pragma once
// The books a feed offers, read from the disk at each request, so that an
// episode that lands is in its book's feed at once: the save folder's book
// folders, each one's episodes in the book's order, and the details and cover
// the library kept for it. Names and texts here are UTF-8, for the feed.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
// version (size and time) and kept; shared by the server's threads. A feed
// build reads the lengths it lacks for a short while only; the rest are read
// on a thread of its own and are in the next build.
class FileLengths {
  public:
    using Clock = std::chrono::steady_clock;
    FileLengths() = default;
    ~FileLengths();
    FileLengths(const FileLengths&) = delete;
    FileLengths& operator=(const FileLengths&) = delete;

    // The file's length in seconds; read now while `until` has not passed,
    // else left to the thread (0 until then, and for a file with none).
    int seconds(const std::filesystem::path& file, std::int64_t size, std::int64_t modified,
                Clock::time_point until);

  private:
    struct Known {
        std::int64_t size, modified;
        int seconds;
    };
    struct Wanted {
        std::filesystem::path file;
        std::int64_t size, modified;
    };
    void store(const std::filesystem::path& file, Known known);
    void read_wanted();

    std::mutex mutex_;
    std::map<std::filesystem::path, Known> known_;
    std::deque<Wanted> wanted_;
    std::condition_variable more_;
    bool stopping_ = false;
    std::thread reader_;
};

struct ShelfBook {
    std::string folder; // its folder's name on disk
    std::string title;  // as its page gave it, or the folder's name
};

// The save folder's book folders (hidden ones and links leading out left out),
// in natural order.
std::vector<ShelfBook> feed_shelf(const FeedPlaces& places);

// How long a feed build may spend reading episode lengths.
constexpr std::chrono::milliseconds length_reading_budget{15};

// The book in that folder with the episodes on disk now, or nothing when no
// such book folder lies in the save folder. Lengths come from `lengths` when given.
std::optional<FeedBook> read_feed_book(const FeedPlaces& places, const std::string& folder,
                                       FileLengths* lengths);

#pragma once
// What an episode gets as it lands, for players other than ours: its tags,
// written into the complete file before it takes its final name (so the flush
// before the rename covers them), then its book folder's cover file and
// playlist. The book's details come from its page and its cover from the
// cover's load, from whichever front end loaded them; a book known by title
// only still gets its title and episode. With the switch "写入标签" off,
// nothing is changed.
#include "tagging/book_folder_dressing.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

struct BookDetails {
    Text title; // GBK, as the page names the book
    Text author;
    Text narrator;
    int total = 0; // the book's episode count; 0: unknown
    Bytes cover;
};

// What one episode's transfer runs on its own thread: `prepare` on the complete
// file under its hidden name (false: it could not be written), `landed` once the
// file has its final name. Both empty when nothing is to be done.
struct LandingSteps {
    std::function<bool(const std::filesystem::path& file)> prepare;
    std::function<void(const std::filesystem::path& target)> landed;
};

class EpisodeLanding {
  public:
    // `switched_on` is asked for each episode as its transfer starts.
    explicit EpisodeLanding(std::function<bool()> switched_on);

    // The details of a book whose page was loaded; a cover known already stays
    // when they bring none.
    void know_book(BookDetails details);
    void know_cover(const Text& title, const Bytes& cover);
    // Where the cover of a book with none known comes from (a cover kept on disk).
    void set_cover_lookup(std::function<Bytes(const Text& title)> lookup);
    // The book of this title; null when unknown.
    const BookDetails* book(const Text& title) const;

    // The steps for the episode `label` ("第N集") of the book `title`, whose
    // folder is `folder`, named `book_name`.
    LandingSteps steps_for(const Text& title, const Text& label, const std::filesystem::path& folder,
                           const Text& book_name) const;

    // The same dressing for a whole folder tagged again (book_retag.hpp).
    const std::shared_ptr<BookFolderDressing>& dressing() const { return dressing_; }

  private:
    std::function<bool()> switched_on_;
    std::function<Bytes(const Text&)> cover_lookup_;
    std::map<Text, std::shared_ptr<const BookDetails>> books_;
    std::shared_ptr<BookFolderDressing> dressing_ = std::make_shared<BookFolderDressing>();
};

// The length the Media host gave the file at `target` when its tag records it,
// else -1 (the file is as the host sent it: its size is the host's length).
std::int64_t host_length_of(const std::filesystem::path& target);

// "第12集" (or a file name ending in it) gives 12; 0 when it names no number.
int episode_number_of(const Text& label);

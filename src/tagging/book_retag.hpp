#pragma once
// Tags the episodes of a book downloaded before, then writes its cover file
// and playlist, on a thread of its own so that the window goes on answering.
// Each file is tagged as a copy beside it that replaces it durably (flushed,
// renamed, the folder synced), so an episode is never left half rewritten; a
// cancel takes effect between two files, at once.
#include "tagging/book_folder_dressing.hpp"
#include "tagging/episode_landing.hpp"

#include <QObject>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

class BookRetag : public QObject {
    Q_OBJECT
  public:
    // The folder `folder` named `book_name`, with what is known of its book.
    BookRetag(std::filesystem::path folder, Text book_name, BookDetails details,
              std::shared_ptr<BookFolderDressing> dressing, QObject* parent = nullptr);
    ~BookRetag() override; // cancels and waits for the thread

    void start();
    void cancel();
    const Text& book_name() const { return book_name_; }

  signals:
    // After each file (on the object's own thread).
    void progressed(int done, int total);
    // Every file tagged (`tagged`), failed (`failed`), or the run cancelled.
    void finished(int tagged, int failed, bool cancelled);

  private:
    void run();
    bool tag_one(const std::filesystem::path& file, int number, int total);

    std::filesystem::path folder_;
    Text book_name_;
    BookDetails details_;
    std::shared_ptr<BookFolderDressing> dressing_;
    std::atomic<bool> cancelled_{false};
    std::thread worker_;
};

// The total of a book known only by its folder: the highest episode number among
// the names of its files.
int highest_episode_number(const std::vector<std::filesystem::path>& files);

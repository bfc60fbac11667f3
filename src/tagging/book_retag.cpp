#include "tagging/book_retag.hpp"

#include "files/files.hpp"
#include "tagging/book_playlist.hpp"
#include "tagging/episode_tags.hpp"

#include <QMetaObject>

#include <algorithm>
#include <unistd.h>

namespace fs = std::filesystem;

BookRetag::BookRetag(fs::path folder, Text book_name, BookDetails details,
                     std::shared_ptr<BookFolderDressing> dressing, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), book_name_(std::move(book_name)),
      details_(std::move(details)), dressing_(std::move(dressing)) {}

BookRetag::~BookRetag() {
    cancel();
    if (worker_.joinable())
        worker_.join();
}

void BookRetag::start() {
    if (!worker_.joinable())
        worker_ = std::thread([this] { run(); });
}

void BookRetag::cancel() {
    cancelled_ = true;
}

int highest_episode_number(const std::vector<fs::path>& files) {
    int highest = 0;
    for (const fs::path& file : files)
        highest = std::max(highest, episode_number_of(text_path(file.filename())));
    return highest;
}

void BookRetag::run() {
    std::vector<fs::path> files;
    for (const FolderEntry& entry : list_files_in(folder_, ".mp3"))
        files.push_back(folder_ / entry.native);
    const int total = details_.total > 0 ? details_.total : highest_episode_number(files);
    int tagged = 0, failed = 0, done = 0;
    for (const fs::path& file : files) {
        if (cancelled_)
            break;
        const int number = episode_number_of(text_path(file.filename()));
        tag_one(file, number, total) ? ++tagged : ++failed;
        ++done;
        QMetaObject::invokeMethod(
            this, [this, done, count = int(files.size())] { emit progressed(done, count); },
            Qt::QueuedConnection);
    }
    const bool cancelled = cancelled_;
    if (!cancelled) {
        dressing_->keep_cover(folder_, details_.cover);
        dressing_->write_playlist(folder_, book_name_);
    }
    QMetaObject::invokeMethod(
        this, [this, tagged, failed, cancelled] { emit finished(tagged, failed, cancelled); },
        Qt::QueuedConnection);
}

// A copy is tagged, then replaces the episode; a file that is no MP3 stays as
// it is and counts as one that could not be tagged.
bool BookRetag::tag_one(const fs::path& file, int number, int total) {
    EpisodeTags tags;
    tags.title = playlist_title(text_path(file.filename()), book_name_);
    tags.album = details_.title;
    tags.artist = details_.author;
    tags.composer = details_.narrator;
    tags.track = number;
    tags.total = total;
    tags.cover = details_.cover;
    fs::path copy = file;
    copy.replace_filename("." + file.filename().string() + ".tagging");
    std::error_code ec;
    if (!fs::copy_file(file, copy, fs::copy_options::overwrite_existing, ec))
        return false;
    const TagWrite wrote = write_episode_tags(copy, tags);
    if (wrote == TagWrite::written && rename_durably(copy, file))
        return true;
    ::unlink(copy.c_str());
    return false;
}

// BookSession: the tags of the episodes that land, and of the books
// downloaded before (the library's "写入标签").
#include "session/book_session.hpp"

#include "session/book_tagging.hpp"
#include "files/files.hpp"
#include "settings/config_file.hpp"
#include "site/download_paths.hpp"
#include "tagging/book_retag.hpp"


namespace fs = std::filesystem;

bool BookSession::read_tag_writing_setting() {
    return read_tag_writing();
}

// Every run, the user's and the follow check's, tags what lands; a book known
// without a cover in this run takes the one the library kept.
void BookSession::bind_landing() {
    downloads_->set_landing(&landing_);
    feed_landing(*book_load_, landing_);
    take_kept_covers(landing_, library_);
}

bool BookSession::tag_book(int index) {
    if (retag_ || index < 0 || index >= int(folders_.size()))
        return false;
    const BookFolder& folder = folders_[std::size_t(index)];
    const fs::path path = native_path(effective_save_folder(startup_save_folder_)) / folder.native;
    BookDetails details =
        folder_book_details(landing_, path, folder.name, library_.cover_file(folder.name));
    retag_ = std::make_unique<BookRetag>(path, folder.name, std::move(details), landing_.dressing());
    const Text name = folder.name;
    connect(retag_.get(), &BookRetag::progressed, this,
            [this, name](int done, int total) { emit taggingProgressed(name, done, total); });
    connect(retag_.get(), &BookRetag::finished, this,
            [this, name](int tagged, int failed, bool cancelled) {
                retag_.release()->deleteLater();
                emit taggingEnded(name, tagged, failed, cancelled);
            });
    retag_->start();
    return true;
}

// The thread stops after the file it tags now; its end is still told.
void BookSession::cancel_tagging() {
    if (retag_)
        retag_->cancel();
}

Text BookSession::tagging_book() const {
    return retag_ ? retag_->book_name() : Text();
}

#include "tagging/episode_landing.hpp"

#include "tagging/episode_tags.hpp"
#include "text/gbk.hpp"

namespace fs = std::filesystem;

EpisodeLanding::EpisodeLanding(std::function<bool()> switched_on)
    : switched_on_(std::move(switched_on)) {}

void EpisodeLanding::know_book(BookDetails details) {
    if (details.title.empty())
        return;
    if (const BookDetails* known = book(details.title); known && details.cover.empty())
        details.cover = known->cover;
    const Text title = details.title;
    books_[title] = std::make_shared<const BookDetails>(std::move(details));
}

void EpisodeLanding::know_cover(const Text& title, const Bytes& cover) {
    if (title.empty() || cover.empty())
        return;
    BookDetails details = book(title) ? *book(title) : BookDetails{title, {}, {}, 0, {}};
    details.cover = cover;
    books_[title] = std::make_shared<const BookDetails>(std::move(details));
}

void EpisodeLanding::set_cover_lookup(std::function<Bytes(const Text&)> lookup) {
    cover_lookup_ = std::move(lookup);
}

const BookDetails* EpisodeLanding::book(const Text& title) const {
    const auto found = books_.find(title);
    return found == books_.end() ? nullptr : found->second.get();
}

// The tags and cover are taken now, on the caller's thread; the steps run on
// the transfer's own with their own copies.
LandingSteps EpisodeLanding::steps_for(const Text& title, const Text& label, const fs::path& folder,
                                       const Text& book_name) const {
    if (title.empty() || (switched_on_ && !switched_on_()))
        return {};
    const BookDetails* known = book(title);
    EpisodeTags tags;
    tags.title = label;
    tags.album = title;
    tags.track = episode_number_of(label);
    if (known) {
        tags.artist = known->author;
        tags.composer = known->narrator;
        tags.total = known->total;
        tags.cover = known->cover;
    }
    if (tags.cover.empty() && cover_lookup_)
        tags.cover = cover_lookup_(title);
    auto shared = std::make_shared<const EpisodeTags>(std::move(tags));
    LandingSteps steps;
    // A file that holds no MPEG audio lands as it came.
    steps.prepare = [shared](const fs::path& file) {
        return write_episode_tags(file, *shared) != TagWrite::failed;
    };
    steps.landed = [shared, dressing = dressing_, folder, book_name](const fs::path&) {
        dressing->keep_cover(folder, shared->cover);
        dressing->write_playlist(folder, book_name);
    };
    return steps;
}

std::int64_t host_length_of(const fs::path& target) {
    return recorded_host_length(target).value_or(-1);
}

int episode_number_of(const Text& label) {
    const Text before = gbk("第"), after = gbk("集");
    // The last "第<digits>集": a book's title before it may hold "第" too.
    for (std::size_t at = label.rfind(before); at != Text::npos;
         at = at == 0 ? Text::npos : label.rfind(before, at - 1)) {
        std::size_t end = at + before.size();
        int number = 0;
        while (end < label.size() && label[end] >= '0' && label[end] <= '9' && number < 1000000)
            number = number * 10 + (label[end++] - '0');
        if (end > at + before.size() && label.compare(end, after.size(), after) == 0)
            return number;
    }
    return 0;
}

#pragma once
// The book shown last, kept on disk so that the next start shows its details
// and cover before any network answer, and offline too: the play page's
// address and text, and the cover's bytes, in a folder of their own.
#include "text/text.hpp"

#include <filesystem>
#include <optional>

struct KeptBook {
    Text address;
    Text page_text;
    Bytes cover;
};

class LastBook {
  public:
    explicit LastBook(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The page shown; its cover is forgotten until keep_cover.
    void keep_page(const Text& address, const Text& page_text) const;
    void keep_cover(const Bytes& cover) const;
    // What was kept, when it was kept for `address`.
    std::optional<KeptBook> kept(const Text& address) const;

  private:
    std::filesystem::path folder_;
};

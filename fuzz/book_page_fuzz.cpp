// The fields of a book page cut from its address and text: each marked field
// is a piece of the page, the names are Chinese characters only, and the
// cover lies on the page's own host.
#include "site/book_page.hpp"
#include "fuzz_check.hpp"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

// GB2312 Chinese characters only: byte pairs B0-F7, A1-FE.
bool hanzi_only(const Text& text) {
    if (text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text address = input.ConsumeRandomLengthString(200);
    const Text page = input.ConsumeRemainingBytesAsString();

    const BookInfo book = cut_book_info(address, page);
    auto show = std::initializer_list<Shown>{{"address", address}, {"page", page}};
    check(book.page_text == page, "the page text is kept", show);
    check(address.find(book.book_id) != Text::npos, "the book id is a piece of the address", show);
    for (const Text* field :
         {&book.current_episode, &book.episode_total, &book.category, &book.title})
        check(page.find(*field) != Text::npos, "a marked field is a piece of the page", show);
    for (const Text* name : {&book.narrator, &book.author, &book.status})
        check(hanzi_only(*name), "names and the status are Chinese characters only", show);
    check(book.cover_address == cover_address(catalogue_host(address), book.title),
          "the cover lies on the page's host", show);
    const Text half = right_half_characters(book.narrator);
    check(book.narrator.ends_with(half) && half.size() * 2 <= book.narrator.size(),
          "the right half is the name's own tail", show);
    (void)information_text(book);
    return 0;
}

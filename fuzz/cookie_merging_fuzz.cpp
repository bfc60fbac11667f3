// Merging cookie texts: the response's items all arrive, the caller's items
// stay (the first of a name) unless the response names them, nothing "deleted" and no repeat is
// sent.
#include "fuzz_check.hpp"
#include "http/cookie_merging.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

// The items of a cookie text the way the merge reads them.
std::vector<Text> items_of(const Text& text) {
    Text tidy = trim_spaces(text);
    if (tidy.ends_with(";"))
        tidy += ' ';
    std::vector<Text> items;
    for (Text& item : split_text(tidy, "; "))
        if (!item.empty())
            items.push_back(std::move(item));
    return items;
}

bool deleted(const Text& item) {
    return item.ends_with("=deleted");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text sent = input.ConsumeRandomLengthString();
    const Text set = input.ConsumeRemainingBytesAsString();

    Text request = sent;
    Text response = set;
    const Text merged = merge_cookies(request, response);
    check(merged == request, "the request holds what the merge returns", {{"merged", merged}});

    const std::vector<Text> items = split_text(merged, "; ");
    auto show = std::initializer_list<Shown>{{"sent", sent}, {"set", set}, {"merged", merged}};
    for (std::size_t i = 0; i < items.size(); ++i) {
        check(!deleted(items[i]), "no item valued \"deleted\" is sent", show);
        check(std::find(items.begin(), items.begin() + long(i), items[i]) ==
                  items.begin() + long(i),
              "no item is sent twice", show);
    }
    auto merged_has = [&](const Text& item) {
        return std::find(items.begin(), items.end(), item) != items.end();
    };
    const std::vector<Text> set_items = items_of(set);
    for (const Text& item : set_items)
        check(deleted(item) || merged_has(item), "every item the response set is sent", show);
    // Of the caller's items of one name the first counts: it stays unless it is
    // "deleted" or the response names it.
    std::vector<Text> seen;
    for (const Text& item : items_of(sent)) {
        const Text name = cookie_name(item);
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            continue;
        seen.push_back(name);
        if (!deleted(item) && !has_cookie_named(set_items, name))
            check(merged_has(item), "a cookie the response did not name stays", show);
    }

    check(remove_duplicate_items(merged, "; ") == merged, "the merge holds no repeat", show);
    return 0;
}

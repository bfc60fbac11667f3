#include "site/book_page.hpp"

#include "http/request_headers.hpp"
#include "http/url_splitting.hpp"
#include "pattern/page_text.hpp"
#include "text/gbk.hpp"

#include <vector>

namespace {

// A marked field of the page text; the markers match in any letter case.
Text page_field(const Text& page_text, const Text& left, const Text& right) {
    return text_between(page_text, left, right, std::nullopt, true);
}

} // namespace

Text catalogue_host(const Text& address) {
    return url_host(address, true);
}

BookInfo cut_book_info(const Text& address, const Text& page_text) {
    BookInfo book;
    book.page_text = page_text;
    book.book_id = text_between(address, "_", "_");
    book.current_episode = page_field(page_text, gbk("》 第"), gbk("集/共"));
    book.episode_total = page_field(page_text, gbk("集/共"), gbk("集　<<a"));
    book.category = page_field(page_text, "&flei=", "&bookname=");
    book.title = page_field(page_text, "&bookname=", "&filename=");
    book.narrator = chinese_only(page_field(page_text, gbk("播音："), gbk("作者")));
    book.author =
        right_half_characters(chinese_only(page_field(page_text, gbk("作者："), gbk("状态："))));
    book.status = chinese_only(page_field(page_text, gbk("状态："), gbk("更新：")));
    book.cover_address = cover_address(catalogue_host(address), book.title);
    return book;
}

Text right_half_characters(const Text& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); i += std::size_t(gbk_pair_length(text, i)))
        starts.push_back(i);
    std::size_t half = starts.size() / 2;
    if (half == 0)
        return {};
    return text.substr(starts[starts.size() - half]);
}

Text cover_address(const Text& catalogue_host, const Text& title) {
    return "https://" + catalogue_host + "/cover/yousheng/" + title + ".gif";
}

Text information_text(const BookInfo& book) {
    return gbk("分类 ：") + book.category + gbk("\r\n\r\n书名 ：") + book.title +
           gbk("\r\n\r\n作者 ：") + book.author + gbk("\r\n\r\n播音 ：") + book.narrator +
           gbk("\r\n\r\n状态：") + book.status + gbk("\r\n\r\n当前第 ") + book.current_episode +
           gbk(" 集 共 ") + book.episode_total + gbk(" 集");
}

Text start_caption(const Text& episode_total) {
    return gbk("开始：？/共") + episode_total + gbk("集");
}

Text span_caption() {
    return gbk("跨度");
}

Text site_home_page(const Text& catalogue_host) {
    return "https://" + catalogue_host + "/";
}

#include "catalogue/book_page.hpp"
#include "catalogue/main_window.hpp"
#include "http/web_access.hpp"
#include "widgets/dialogs.hpp"
#include "text/qt_text.hpp"
#include "text/gbk.hpp"

#include <QLabel>
#include <QLineEdit>

void MainWindow::load_book_page() {
    Text address = from_qstring(address_box_->text());
    book.page_text = web_access_text(address);
    if (book.page_text.empty() || address.empty()) {
        show_message(this, gbk("请输入网址！"));
        return;
    }

    book = cut_book_info(address, book.page_text);
    book_host_ = ::catalogue_host(address);
    if (book.title.empty()) {
        show_message(this, gbk("请核对网址是否正确！"));
        return;
    }

    information_->setText(to_qstring(information_text(book)));
    show_cover(web_access(book.cover_address));
    start_caption_->setText(to_qstring(start_caption(book.episode_total)));
    span_caption_->setText(to_qstring(span_caption()));
    show_site_link(::catalogue_host(address));
    repaint_now();
}

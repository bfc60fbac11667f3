// The book page in the window: the address box starts a load (at once for a
// paste, Enter or a change made by the program; once typing pauses for typed
// keys), and what the load brings is shown when it arrives. The window answers
// meanwhile.
#include "catalogue/address_box.hpp"
#include "catalogue/book_page.hpp"
#include "catalogue/book_page_load.hpp"
#include "catalogue/main_window.hpp"
#include "http/web_access.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace {

// How long typing must pause before the typed address loads.
constexpr int typing_pause_ms = 600;

// The second line of a failed load's message: why no page came.
Text why_no_page(const Text& address, const AccessReport& report) {
    if (address.empty())
        return gbk("网址栏是空的。");
    switch (report.failure) {
    case AccessFailure::none:
        break;
    case AccessFailure::bad_address:
        return gbk("这不是一个能打开的网址。");
    case AccessFailure::cannot_connect:
        return gbk("无法连接到服务器。");
    case AccessFailure::timed_out:
        return gbk("服务器长时间没有回应。");
    case AccessFailure::too_slow:
        return gbk("服务器传送得太慢。");
    case AccessFailure::too_large:
        return gbk("网页太大，不是书的播放页。");
    case AccessFailure::too_many_redirects:
        return gbk("网页转向的次数太多。");
    case AccessFailure::cancelled:
    case AccessFailure::broken:
        return gbk("连接中断了。");
    }
    return gbk("服务器回答了一个空白页（HTTP ") + number_to_text(double(report.status)) + "）。";
}

Text why_no_title(const AccessReport& report) {
    Text why = gbk("这个网页不是本网站的播放页");
    if (report.status != 200)
        why += gbk("（HTTP ") + number_to_text(double(report.status)) + gbk("）");
    return why + gbk("。");
}

// Keys typed while the box is up are not the box's: the first closes it and
// goes, with the ones after it, to the widget that had the focus.
class KeysGoOn : public QObject {
  public:
    KeysGoOn(QMessageBox* box, QWidget* typing_into) : box_(box), to_(typing_into) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~KeysGoOn() override { QCoreApplication::instance()->removeEventFilter(this); }
    KeysGoOn(const KeysGoOn&) = delete;
    KeysGoOn& operator=(const KeysGoOn&) = delete;

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !to_ || !receiver->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(receiver);
        if (widget != box_ && !box_->isAncestorOf(widget))
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint();
        if (!typed && key->key() != Qt::Key_Backspace && key->key() != Qt::Key_Delete)
            return false; // Enter, Escape, Space and the rest close the box as usual
        QCoreApplication::postEvent(to_, key->clone());
        box_->done(QMessageBox::Ok);
        return true;
    }

  private:
    QMessageBox* box_;
    QPointer<QWidget> to_;
};

} // namespace

void MainWindow::bind_address_box() {
    typing_pause_ = new QTimer(this);
    typing_pause_->setSingleShot(true);
    typing_pause_->setInterval(typing_pause_ms);
    connect(typing_pause_, &QTimer::timeout, this, [this] { load_book_page(); });
    connect(address_box_, &QLineEdit::textChanged, this, [this] {
        if (setting_address_from_code_)
            return;
        book_load_->cancel(); // its address no longer stands
        query_after_load_ = false;
        if (address_box_->typing()) {
            typing_pause_->start();
        } else {
            typing_pause_->stop();
            load_book_page();
        }
    });
    connect(address_box_, &QLineEdit::returnPressed, this, [this] {
        typing_pause_->stop();
        load_book_page();
        query_after_load_ = true; // Enter asks for the episodes too, once the page is in
    });
}

void MainWindow::bind_book_load() {
    book_load_ = std::make_unique<BookPageLoad>();
    connect(book_load_.get(), &BookPageLoad::pageArrived, this,
            [this](const Text& address, const Text& page_text, const AccessReport& report) {
                show_book_page(address, page_text, report);
            });
    connect(book_load_.get(), &BookPageLoad::coverArrived, this, [this](const Bytes& cover) {
        show_cover(cover);
        repaint_now();
    });
}

void MainWindow::load_book_page() {
    book_load_->start(from_qstring(address_box_->text()));
}

bool MainWindow::book_page_pending() const {
    return typing_pause_->isActive() || book_load_->loading();
}

void MainWindow::show_book_page(const Text& address, const Text& page_text,
                                const AccessReport& report) {
    book.page_text = page_text;
    if (page_text.empty() || address_box_->text().isEmpty()) {
        show_load_failure(gbk("请输入网址！"), why_no_page(address, report));
        return;
    }

    book = cut_book_info(address, page_text);
    book_host_ = ::catalogue_host(address);
    if (book.title.empty()) {
        show_load_failure(gbk("请核对网址是否正确！"), why_no_title(report));
        return;
    }

    information_->setText(to_qstring(information_text(book)));
    show_cover({}); // until this book's cover arrives
    start_caption_->setText(to_qstring(start_caption(book.episode_total)));
    span_caption_->setText(to_qstring(span_caption()));
    show_site_link(::catalogue_host(address));
    repaint_now();
    book_load_->fetch_cover(book.cover_address);
    if (std::exchange(query_after_load_, false))
        query_episodes();
}

void MainWindow::show_load_failure(const Text& message, const Text& reason) {
    query_after_load_ = false;
    QMessageBox box(this);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(QString());
    box.setTextFormat(Qt::PlainText);
    box.setText(to_qstring(message));
    box.setInformativeText(to_qstring(reason));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    QWidget* typing_into = focusWidget() == address_box_ ? address_box_ : nullptr;
    KeysGoOn keys_go_on(&box, typing_into);
    box.exec();
}

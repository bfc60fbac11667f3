#include "session/page_look_ahead.hpp"

#include "site/book_page.hpp"
#include "site/book_page_load.hpp"

#include <QMetaObject>

#include <algorithm>

PageLookAhead::PageLookAhead(QObject* parent) : QObject(parent) {}

PageLookAhead::~PageLookAhead() {
    cancel();
}

void PageLookAhead::expect(const std::vector<Text>& addresses) {
    cancel();
    expected_.assign(addresses.begin(), addresses.end());
    pump();
}

void PageLookAhead::ask(const Text& address) {
    asked_ = address;
    const auto waiting = std::find(expected_.begin(), expected_.end(), address);
    const bool under_way = std::any_of(slots_.begin(), slots_.end(),
                                       [&](const auto& s) { return s->address == address; });
    if (!ready_.count(address) && !under_way) {
        if (waiting != expected_.end())
            expected_.erase(waiting);
        expected_.push_front(address);
    }
    pump();
    hand_over();
}

void PageLookAhead::cancel() {
    ++generation_;
    for (const auto& slot : slots_) {
        slot->load->cancel();
        slot->address.clear();
    }
    expected_.clear();
    ready_.clear();
    asked_.clear();
}

// Starts the pages to come while places are free, the page asked for first.
void PageLookAhead::pump() {
    int under_way = 0;
    for (const auto& slot : slots_)
        under_way += slot->address.empty() ? 0 : 1;
    for (auto next = expected_.begin(); next != expected_.end();) {
        const bool wanted_now = *next == asked_;
        if (!wanted_now && under_way + int(ready_.size()) >= kept_ahead)
            break;
        if (start(*next)) {
            next = expected_.erase(next);
            ++under_way;
        } else {
            ++next; // its host has enough under way
        }
    }
}

bool PageLookAhead::start(const Text& address) {
    const Text host = catalogue_host(address);
    const auto to_host = std::count_if(slots_.begin(), slots_.end(), [&](const auto& s) {
        return !s->address.empty() && s->host == host;
    });
    if (to_host >= per_host)
        return false;
    auto free = std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->address.empty(); });
    if (free == slots_.end()) {
        auto slot = std::make_unique<Slot>();
        slot->load = std::make_unique<BookPageLoad>();
        Slot* raw = slot.get();
        connect(raw->load.get(), &BookPageLoad::pageArrived, this,
                [this, raw](const Text& arrived_address, const Text& text, const AccessReport& report) {
                    arrived(*raw, arrived_address, text, report);
                });
        slots_.push_back(std::move(slot));
        free = slots_.end() - 1;
    }
    (*free)->address = address;
    (*free)->host = host;
    (*free)->load->start(address);
    return true;
}

void PageLookAhead::arrived(Slot& slot, const Text& address, const Text& text, const AccessReport& report) {
    const Text asked_for = slot.address;
    slot.address.clear();
    slot.load->cancel(); // the cover is not wanted
    ready_[asked_for.empty() ? address : asked_for] = {text, report};
    pump();
    hand_over();
}

// Handed over from the event loop, so that a page already in does not arrive
// inside the call that asked for it.
void PageLookAhead::hand_over() {
    const auto page = ready_.find(asked_);
    if (asked_.empty() || page == ready_.end())
        return;
    const Text address = page->first;
    const Page arrived_page = page->second;
    ready_.erase(page);
    asked_.clear();
    QMetaObject::invokeMethod(
        this,
        [this, address, arrived_page, generation = generation_] {
            if (generation == generation_)
                emit pageArrived(address, arrived_page.text, arrived_page.report);
        },
        Qt::QueuedConnection);
}

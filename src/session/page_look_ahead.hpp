#pragma once
// Play pages asked for ahead of their turn: the follow check looks at one book
// after another, and while it lists and downloads one, the pages of the next
// few are already on their way, several at once but never more than
// `per_host` to one host. Each page is handed over when its turn is asked
// for, at once when it is in already.
#include "http/web_access.hpp"
#include "text/text.hpp"

#include <QObject>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class BookPageLoad;

class PageLookAhead : public QObject {
    Q_OBJECT
  public:
    static constexpr int per_host = 4;
    // Pages fetched ahead and not yet taken, at most.
    static constexpr int kept_ahead = 8;

    explicit PageLookAhead(QObject* parent = nullptr);
    ~PageLookAhead() override;

    // The pages to come, in the order they will be asked for; forgets earlier ones.
    void expect(const std::vector<Text>& addresses);
    // The page at the address: pageArrived follows (from the event loop).
    void ask(const Text& address);
    // Stops every load; nothing more arrives.
    void cancel();

  signals:
    void pageArrived(const Text& address, const Text& page_text, const AccessReport& report);

  private:
    struct Page {
        Text text;
        AccessReport report;
    };
    struct Slot {
        std::unique_ptr<BookPageLoad> load;
        Text address; // empty while free
        Text host;
    };
    void pump();
    bool start(const Text& address);
    void arrived(Slot& slot, const Text& address, const Text& text, const AccessReport& report);
    void hand_over();

    std::vector<std::unique_ptr<Slot>> slots_;
    std::deque<Text> expected_;   // not yet started
    std::map<Text, Page> ready_;  // arrived, not yet asked for
    Text asked_;                  // asked for, not yet handed over
    std::uint64_t generation_ = 0; // counts cancels: a page handed over before one is dropped
};

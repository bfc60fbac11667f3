#pragma once
// Asks the player script once more for one episode's audio address, on a thread
// of its own, when the Media host no longer accepts the key of the first one.
#include "session/episode.hpp"
#include "text/text.hpp"

#include <QObject>

#include <atomic>
#include <thread>

class KeyRenewal : public QObject {
    Q_OBJECT
  public:
    // Starts at once, for the row's source and book title.
    KeyRenewal(const EpisodeSource& source, const Text& title, QObject* parent = nullptr);
    // Makes the request give up and waits for its thread.
    ~KeyRenewal() override;
    KeyRenewal(const KeyRenewal&) = delete;
    KeyRenewal& operator=(const KeyRenewal&) = delete;

  signals:
    // Exactly once unless destroyed first; the address ends in "?key=" when the
    // script gave no key.
    void finished(const Text& address);

  private:
    std::atomic<bool> cancelled_{false};
    std::thread worker_;
};

#pragma once
// The episodes of the list the user works on, in list order: the query and a
// book folder fill it, the download run, the play queue and listening change
// its episodes, and every view follows its signals. Qt Core only.
#include "session/episode.hpp"

#include <QObject>

#include <functional>
#include <vector>

class EpisodeList : public QObject {
    Q_OBJECT
  public:
    explicit EpisodeList(QObject* parent = nullptr);

    int size() const { return int(episodes_.size()); }
    bool empty() const { return episodes_.empty(); }
    // The episode at an index (from 0); null past the ends.
    const Episode* at(int index) const;
    const Episode* find(EpisodeId id) const;
    // -1 when the list does not hold it.
    int index_of(EpisodeId id) const;
    EpisodeId id_at(int index) const;
    const std::vector<Episode>& episodes() const { return episodes_; }

    // Removes every episode.
    void clear();
    // Appends an episode, giving it a new id, which it returns.
    EpisodeId append(Episode episode);
    // Changes the episode with the id, if the list holds it, and says so.
    void update(EpisodeId id, const std::function<void(Episode&)>& change);
    // Sets the listening marks of every episode; says so where they changed.
    void update_marks(const std::function<void(Episode&)>& change);

  signals:
    void aboutToReset();
    void reset();
    void aboutToInsert(int first, int last);
    void inserted(int first, int last);
    void changed(int index);

  private:
    std::vector<Episode> episodes_;
    EpisodeId last_id_ = 0;
};

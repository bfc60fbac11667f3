#pragma once
// Gives the episodes of the list their length once it is known: a file on disk
// is read in the background as it is listed or lands, and an episode that
// plays takes the length the player found. Lengths found stay for the
// episode's address while the program runs, so a list shown again has them.
#include "session/episode_list.hpp"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class MediaLengths;
class PlaybackEngine;

class EpisodeLengths : public QObject {
    Q_OBJECT
  public:
    // `playing` gives the episode the engine has open.
    EpisodeLengths(EpisodeList& episodes, PlaybackEngine& engine,
                   std::function<EpisodeId()> playing, QObject* parent = nullptr);
    ~EpisodeLengths() override;

  private:
    void look_at(int first, int last);
    void give(EpisodeId id, qint64 ms);
    void on_read(const QString& file, qint64 ms);
    void on_played(qint64 ms);

    EpisodeList& episodes_;
    PlaybackEngine& engine_;
    std::function<EpisodeId()> playing_;
    MediaLengths* files_ = nullptr;
    QHash<QByteArray, qint64> played_; // by the episode's address
};

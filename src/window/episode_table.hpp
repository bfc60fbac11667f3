#pragma once
// The episode list as a table for the list control: the one place where an
// episode's state becomes the text a user reads ("未下载", "42%", "重试 1/3",
// "已下载", "未上线") and where playing and heard become ▶ and ✓ (and, for a
// screen reader, words). Four columns: label, address or file, the marks and
// the length once known (under 时长), state. It only shows; the session changes the episodes.
#include "session/episode_list.hpp"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <filesystem>
#include <vector>

class EpisodeTable : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int column_count = 4;
    enum Column { label_column = 0, address_column = 1, ordinal_column = 2, state_column = 3 };
    enum Role { id_role = Qt::UserRole };

    explicit EpisodeTable(EpisodeList& episodes, QObject* parent = nullptr);

    // The texts a row shows, empty for a row or column that does not exist.
    int row_count() const { return episodes_.size(); }
    Text cell(int row, int column) const;
    // Why the row's last download failed, as its state cell's tooltip says.
    Text state_note(int row) const;
    EpisodeId id_at(int row) const { return episodes_.id_at(row); }
    int row_of(EpisodeId id) const { return episodes_.index_of(id); }
    const Episode* episode(int row) const { return episodes_.at(row); }
    // What the state cell of a row with a note shows beside its text (a
    // warning mark the window hands over; nothing until then).
    void set_note_decoration(const QVariant& decoration) { note_decoration_ = decoration; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    // The cells as the view draws them, made once per change.
    using Shown = std::array<QString, column_count>;
    Shown shown(const Episode& episode) const;

    EpisodeList& episodes_;
    std::vector<Shown> shown_;
    std::array<QString, column_count> headers_;
    QVariant note_decoration_;
};

// What the state cell shows while an episode arrives: the share in percent, or
// the amount received when the server did not say how much is coming.
Text progress_text(std::int64_t received, std::int64_t total);
// The state cell's text.
Text state_text(const Episode& episode);
// The row as a listener hears it: "第41集，已下载，正在播放" (or "，已听完").
Text listener_text(const Episode& episode);
// The marks ▶ and ✓ in words: "正在播放", "已听完", or nothing.
Text mark_words(const Episode& episode);
// The episode's length once known ("23:05", "1:02:03"), or nothing.
Text length_text(const Episode& episode);

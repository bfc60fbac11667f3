#include "window/episode_table.hpp"

#include "session/run_progress.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

Text progress_text(std::int64_t received, std::int64_t total) {
    if (total > 0)
        return number_to_text(double(received * 100 / total)) + "%";
    if (received < 1024)
        return number_to_text(double(received)) + "B";
    if (received < 10 * 1024 * 1024)
        return number_to_text(double(received / 1024)) + "KB";
    return number_to_text(double(received / (1024 * 1024))) + "MB";
}

Text state_text(const Episode& episode) {
    switch (episode.state) {
    case DownloadState::downloading:
        return progress_text(episode.received, episode.total);
    case DownloadState::paused:
        return gbk("已暂停 ") + progress_text(episode.received, episode.total);
    case DownloadState::retrying:
        return gbk("重试 ") + number_to_text(episode.retry) + "/" + number_to_text(episode.retries);
    case DownloadState::downloaded:
        return gbk("已下载");
    case DownloadState::not_out:
        return gbk("未上线");
    case DownloadState::failed:
        // A full disk says so in the list, not just in the tooltip.
        if (episode.disk_trouble)
            return episode.reason;
        break;
    case DownloadState::not_on_disk:
    case DownloadState::queued:
    case DownloadState::no_key:
        break;
    }
    return gbk("未下载");
}

EpisodeTable::EpisodeTable(EpisodeList& episodes, QObject* parent)
    : QAbstractTableModel(parent), episodes_(episodes),
      headers_{to_qstring(gbk("集数")), to_qstring(gbk("网址")), to_qstring(gbk("时长")),
               to_qstring(gbk("状态"))} {
    connect(&episodes_, &EpisodeList::aboutToReset, this, [this] { beginResetModel(); });
    connect(&episodes_, &EpisodeList::reset, this, [this] {
        shown_.clear();
        endResetModel();
    });
    connect(&episodes_, &EpisodeList::aboutToInsert, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(&episodes_, &EpisodeList::inserted, this, [this](int first, int last) {
        for (int row = first; row <= last; ++row)
            shown_.insert(shown_.begin() + row, shown(*episodes_.at(row)));
        endInsertRows();
    });
    connect(&episodes_, &EpisodeList::changed, this, [this](int row) {
        if (row >= int(shown_.size()))
            return; // changed while it is inserted: shown once it is in
        shown_[std::size_t(row)] = shown(*episodes_.at(row));
        emit dataChanged(index(row, 0), index(row, column_count - 1));
    });
    for (const Episode& episode : episodes_.episodes())
        shown_.push_back(shown(episode));
}

// Playing and heard marks stand in the 时长 column before the length, where
// the label keeps its room; the query's ordinal is no length and does not show.
EpisodeTable::Shown EpisodeTable::shown(const Episode& episode) const {
    QString mark;
    if (episode.playing)
        mark = QStringLiteral("\u25B6");
    else if (episode.heard)
        mark = QStringLiteral("\u2713");
    const Text length = length_text(episode);
    if (!length.empty())
        mark += (mark.isEmpty() ? QString() : QStringLiteral(" ")) + to_qstring(length);
    return {to_qstring(episode.label), to_qstring(episode.address()), mark,
            to_qstring(state_text(episode))};
}

Text length_text(const Episode& episode) {
    return episode.length_ms > 0 ? duration_text(double(episode.length_ms) / 1000.0) : Text();
}

Text mark_words(const Episode& episode) {
    if (episode.playing)
        return gbk("正在播放");
    return episode.heard ? gbk("已听完") : Text();
}

Text listener_text(const Episode& episode) {
    const Text marks = mark_words(episode);
    return episode.label + gbk("，") + state_text(episode) + (marks.empty() ? marks : gbk("，") + marks);
}

Text EpisodeTable::cell(int row, int column) const {
    const Episode* e = episodes_.at(row);
    if (!e)
        return {};
    switch (column) {
    case label_column:
        return e->label;
    case address_column:
        return e->address();
    case ordinal_column:
        return e->ordinal > 0 ? number_to_text(e->ordinal) : Text();
    case state_column:
        return state_text(*e);
    default:
        return {};
    }
}

Text EpisodeTable::state_note(int row) const {
    const Episode* e = episodes_.at(row);
    return e && !e->on_disk() ? e->reason : Text();
}

int EpisodeTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int EpisodeTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : column_count;
}

QVariant EpisodeTable::data(const QModelIndex& at, int role) const {
    if (!at.isValid() || at.row() >= int(shown_.size()) || at.column() >= column_count)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return shown_[std::size_t(at.row())][std::size_t(at.column())];
    case Qt::ToolTipRole:
        if (at.column() == state_column && !state_note(at.row()).empty())
            return to_qstring(state_note(at.row()));
        return {};
    // A screen reader says the whole row as it comes to it, cell by cell: the
    // episode, the address (without its key, which its description holds),
    // whether it plays or was heard in words, and its state; each once.
    case Qt::AccessibleTextRole:
        if (at.column() == ordinal_column) {
            const Episode& e = *episodes_.at(at.row());
            const Text words = mark_words(e), length = length_text(e);
            return to_qstring(words.empty() || length.empty() ? words + length
                                                              : words + gbk("，") + length);
        }
        if (at.column() == address_column) // its key only on request
            return shown_[std::size_t(at.row())][address_column].section(QChar('?'), 0, 0);
        return {};
    case Qt::AccessibleDescriptionRole:
        if (at.column() == state_column && !state_note(at.row()).empty())
            return to_qstring(state_note(at.row()));
        if (at.column() == address_column)
            return shown_[std::size_t(at.row())][address_column];
        return {};
    case Qt::DecorationRole:
        if (at.column() == state_column && !state_note(at.row()).empty())
            return note_decoration_;
        return {};
    case id_role:
        return QVariant::fromValue<qulonglong>(episodes_.id_at(at.row()));
    default:
        return {};
    }
}

QVariant EpisodeTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < column_count)
        return headers_[std::size_t(section)];
    return QAbstractTableModel::headerData(section, orientation, role);
}

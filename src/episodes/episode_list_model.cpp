#include "episodes/episode_list_model.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <algorithm>

namespace fs = std::filesystem;

EpisodeListModel::EpisodeListModel(QObject* parent)
    : QAbstractTableModel(parent),
      headers_{to_qstring(gbk("集数")), to_qstring(gbk("网址")), to_qstring(gbk("时长")),
               to_qstring(gbk("状态"))},
      selection_(this) {}

EpisodeListModel::Row* EpisodeListModel::find(int row) {
    return row >= 0 && row < row_count() ? &rows_[std::size_t(row)] : nullptr;
}

const EpisodeListModel::Row* EpisodeListModel::find(int row) const {
    return row >= 0 && row < row_count() ? &rows_[std::size_t(row)] : nullptr;
}

void EpisodeListModel::changed(int row, int first_column, int last_column) {
    emit dataChanged(index(row, first_column), index(row, last_column));
}

void EpisodeListModel::remove_all_rows() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int EpisodeListModel::insert_row(int at, const Text& column0, const RowBook& book) {
    if (at < 0 || at > row_count())
        at = row_count();
    Row row;
    row.cells[label_column] = column0;
    row.shown[label_column] = to_qstring(column0);
    row.book = book;
    row.id = ++last_id_;
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, std::move(row));
    endInsertRows();
    return at;
}

Text EpisodeListModel::cell(int row, int column) const {
    const Row* r = find(row);
    return r && column >= 0 && column < column_count ? r->cells[std::size_t(column)] : Text();
}

void EpisodeListModel::set_cell(int row, int column, const Text& text) {
    Row* r = find(row);
    if (!r || column < 0 || column >= column_count)
        return;
    if (column == address_column)
        r->native.clear();
    if (r->cells[std::size_t(column)] == text)
        return;
    r->cells[std::size_t(column)] = text;
    r->shown[std::size_t(column)] = to_qstring(text);
    changed(row, column, column);
}

fs::path EpisodeListModel::row_native_path(int row) const {
    const Row* r = find(row);
    return r ? r->native : fs::path();
}

void EpisodeListModel::set_row_native_path(int row, const fs::path& native) {
    if (Row* r = find(row))
        r->native = native;
}

RowBook EpisodeListModel::row_book(int row) const {
    const Row* r = find(row);
    return r ? r->book : RowBook();
}

std::uint64_t EpisodeListModel::row_id(int row) const {
    const Row* r = find(row);
    return r ? r->id : 0;
}

int EpisodeListModel::row_of(std::uint64_t id) const {
    auto found = std::find_if(rows_.begin(), rows_.end(), [id](const Row& r) { return r.id == id; });
    return found == rows_.end() ? -1 : int(found - rows_.begin());
}

RowSource EpisodeListModel::row_source(int row) const {
    const Row* r = find(row);
    return r ? r->source : RowSource();
}

void EpisodeListModel::set_row_source(int row, const RowSource& source) {
    if (Row* r = find(row))
        r->source = source;
}

Text EpisodeListModel::state_note(int row) const {
    const Row* r = find(row);
    return r ? r->note : Text();
}

void EpisodeListModel::set_state_note(int row, const Text& note) {
    Row* r = find(row);
    if (!r || r->note == note)
        return;
    r->note = note;
    changed(row, state_column, state_column);
}

bool EpisodeListModel::playing(int row) const {
    const Row* r = find(row);
    return r && r->playing;
}

void EpisodeListModel::set_playing(int row, bool playing) {
    Row* r = find(row);
    if (!r || r->playing == playing)
        return;
    r->playing = playing;
    changed(row, 0, column_count - 1);
}

bool EpisodeListModel::heard(int row) const {
    const Row* r = find(row);
    return r && r->heard;
}

void EpisodeListModel::set_heard(int row, bool heard) {
    Row* r = find(row);
    if (!r || r->heard == heard)
        return;
    r->heard = heard;
    changed(row, 0, column_count - 1);
}

std::int64_t EpisodeListModel::received(int row) const {
    const Row* r = find(row);
    return r ? r->received : 0;
}

void EpisodeListModel::set_received(int row, std::int64_t bytes) {
    if (Row* r = find(row))
        r->received = bytes;
}

std::vector<int> EpisodeListModel::selected_rows() const {
    std::vector<int> rows;
    for (const QModelIndex& chosen : selection_.selectedRows())
        rows.push_back(chosen.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int EpisodeListModel::current_row() const {
    const QModelIndex current = selection_.currentIndex();
    return current.isValid() ? current.row() : -1;
}

void EpisodeListModel::set_current_row(int row) {
    moving_current_row_ = true;
    if (find(row))
        selection_.setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    else
        selection_.clear();
    moving_current_row_ = false;
}

int EpisodeListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : row_count();
}

int EpisodeListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : column_count;
}

// What playback knows of a row, drawn before its short ordinal (the label
// would no longer fit its column): it plays now, or it was heard to its end.
QString EpisodeListModel::mark(const Row& row) {
    if (row.playing)
        return QStringLiteral("\u25B6 ");
    if (row.heard)
        return QStringLiteral("\u2713 ");
    return {};
}

QVariant EpisodeListModel::data(const QModelIndex& at, int role) const {
    const Row* r = at.isValid() ? find(at.row()) : nullptr;
    if (!r || at.column() >= column_count)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return at.column() == ordinal_column ? mark(*r) + r->shown[ordinal_column]
                                             : r->shown[std::size_t(at.column())];
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        if (at.column() == state_column && !r->note.empty())
            return to_qstring(r->note);
        return {};
    case Qt::DecorationRole:
        if (at.column() == state_column && !r->note.empty())
            return note_decoration_;
        return {};
    case row_id_role:
        return QVariant::fromValue<qulonglong>(r->id);
    case playing_role:
        return r->playing;
    case heard_role:
        return r->heard;
    case received_role:
        return QVariant::fromValue<qlonglong>(r->received);
    default:
        return {};
    }
}

QVariant EpisodeListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < column_count)
        return headers_[std::size_t(section)];
    return QAbstractTableModel::headerData(section, orientation, role);
}

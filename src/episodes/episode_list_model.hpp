#pragma once
// The episode rows: the table the query fills, the download sequence works
// through and the play queue walks, with the list control as one view of it.
// Four text columns (label, address or local path, ordinal, state); per row its
// book, the native file it plays from once on disk, a number that stays with it
// for life, why its last download failed, and what playback knows of it. The
// selection and the current row live here too, so the play queue needs no view.
#include "text/text.hpp"

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QString>

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

// The book a row belongs to: its title names the book's folder and files, under
// the save folder that was in force when the row was made.
struct RowBook {
    Text title;
    Text save_folder;
};

// Where a row's audio address came from, so that an expired key can be asked
// for again: the Catalogue host, the book's number and category code, and the
// episode number. Empty for rows that did not come from a query.
struct RowSource {
    Text catalogue_host;
    Text book_id;
    Text category;
    Text episode_number;
};

class EpisodeListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int column_count = 4;
    enum Column { label_column = 0, address_column = 1, ordinal_column = 2, state_column = 3 };
    // Data a view or a test may read beside the texts.
    enum Role { row_id_role = Qt::UserRole, playing_role, heard_role, received_role };

    explicit EpisodeListModel(QObject* parent = nullptr);

    // Rows and columns count from 0.
    void remove_all_rows();
    // -1, or an index past the last row, appends; returns the new row's index.
    int insert_row(int index, const Text& column0, const RowBook& book = {});
    int row_count() const { return int(rows_.size()); }
    // Empty for a row or column that does not exist.
    Text cell(int row, int column) const;
    // Setting column 1 forgets the row's native file; set that again afterwards.
    void set_cell(int row, int column, const Text& text);

    // The native file a row plays from once on disk (empty if none).
    std::filesystem::path row_native_path(int row) const;
    void set_row_native_path(int row, const std::filesystem::path& native);
    RowBook row_book(int row) const;
    RowSource row_source(int row) const;
    void set_row_source(int row, const RowSource& source);
    // A number that stays with a row for its life and is never reused; the row
    // that holds it, or -1 once the list no longer has it.
    std::uint64_t row_id(int row) const;
    int row_of(std::uint64_t id) const;
    // Why the row's last download failed (empty: it did not); the state cell's
    // tooltip and accessible description.
    Text state_note(int row) const;
    void set_state_note(int row, const Text& note);
    // What the state cell of a row with a note shows beside its text (a warning
    // mark the window hands over; nothing until then).
    void set_note_decoration(const QVariant& decoration) { note_decoration_ = decoration; }
    // What playback knows of a row: it plays now, it was heard to its end.
    bool playing(int row) const;
    void set_playing(int row, bool playing);
    bool heard(int row) const;
    void set_heard(int row, bool heard);
    // Bytes of the row's episode on disk so far, while it downloads.
    std::int64_t received(int row) const;
    void set_received(int row, std::int64_t bytes);

    // The selection, shared with the view that shows the rows.
    QItemSelectionModel& selection() { return selection_; }
    std::vector<int> selected_rows() const; // ascending
    int current_row() const;                // -1 when none
    // Also makes the row the only selected one; -1 clears both. Moves made here
    // are marked as the program's own while the selection model reports them.
    void set_current_row(int row);
    bool moving_current_row() const { return moving_current_row_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    struct Row {
        std::array<Text, column_count> cells;
        std::array<QString, column_count> shown; // the cells as the view draws them
        RowBook book;
        RowSource source;
        std::filesystem::path native;
        std::uint64_t id = 0;
        Text note;
        bool playing = false;
        bool heard = false;
        std::int64_t received = 0;
    };
    static QString mark(const Row& row);
    Row* find(int row);
    const Row* find(int row) const;
    void changed(int row, int first_column, int last_column);

    std::vector<Row> rows_;
    std::array<QString, column_count> headers_;
    std::uint64_t last_id_ = 0;
    QItemSelectionModel selection_;
    bool moving_current_row_ = false;
    QVariant note_decoration_;
};

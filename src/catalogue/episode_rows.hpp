#pragma once
// The episode list as the query and the download sequence see it: rows of four
// text columns (label, address or local path, ordinal, state), each remembering
// the book it was made for, so that its episode always downloads into that
// book's folder whatever the window shows by then.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>

// The book a row belongs to: its title names the book's folder and files, under
// the save folder that was in force when the row was made.
struct RowBook {
    Text title;
    Text save_folder;
};

class EpisodeRows {
  public:
    virtual ~EpisodeRows() = default;

    virtual int row_count() const = 0;
    // Empty for a row or column that does not exist.
    virtual Text cell(int row, int column) const = 0;
    virtual void set_cell(int row, int column, const Text& text) = 0;
    // The native file a row plays from once downloaded (empty if none).
    virtual void set_row_native_path(int row, const std::filesystem::path& native) = 0;
    virtual RowBook row_book(int row) const = 0;
    // A number that stays with a row for its life and is never reused; the row
    // that holds it, or -1 once the list no longer has it.
    virtual std::uint64_t row_id(int row) const = 0;
    virtual int row_of(std::uint64_t id) const = 0;
    // Why the row's last download failed, shown on its state cell (empty: none).
    virtual void set_state_note(int row, const Text& note) = 0;
};

#pragma once
// Where the main window stood when the program last closed: its inside (frame
// not included) in its normal state and whether it was maximised, kept in
// "窗口位置.ini" beside the configuration file.
//
//     [主窗口]
//     位置=50,50,591,653
//     最大化=假
#include <QRect>

#include <filesystem>
#include <optional>

struct WindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximised = false;
    bool operator==(const WindowPlace&) const = default;
};

std::filesystem::path window_place_file();

// Nothing when the file is missing or its place is not four whole numbers with a
// positive size.
std::optional<WindowPlace> read_window_place(const std::filesystem::path& file);
bool write_window_place(const std::filesystem::path& file, const WindowPlace& place);

// Where a window of `outer` size (frame included) stands centred over `over`
// (a screen's free area, or the window it belongs to), moved onto `free` as a
// whole when it fits there: its frame's top left corner.
QPoint centred_place(QSize outer, const QRect& over, const QRect& free);

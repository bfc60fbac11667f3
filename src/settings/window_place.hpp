#pragma once
// Where the main window stood when the program last closed: its inside (frame
// not included) in its normal state and whether it was maximised, kept in
// "窗口位置.ini" beside the configuration file.
//
//     [主窗口]
//     位置=50,50,591,653
//     最大化=假
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

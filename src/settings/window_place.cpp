#include "settings/window_place.hpp"

#include "files/files.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "text/gbk.hpp"
#include "text/text.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The value of `key` among the lines of the file, which has one section only.
std::optional<Text> value_of(const std::string& content, const Text& key) {
    for (Text line : split_text(content, "\n")) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t equals = line.find('=');
        if (equals != Text::npos && trim_spaces(line.substr(0, equals)) == key)
            return trim_spaces(line.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<int> whole_number(std::string_view text) {
    int number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

} // namespace

std::filesystem::path window_place_file() {
    return configuration_folder() / native_path(gbk("窗口位置.ini"));
}

std::optional<WindowPlace> read_window_place(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(in), {});
    const std::optional<Text> place = value_of(content, gbk("位置"));
    if (!place)
        return std::nullopt;
    const std::vector<Text> parts = split_text(*place, ",");
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4];
    for (std::size_t i = 0; i < 4; ++i) {
        std::optional<int> number = whole_number(trim_spaces(parts[i]));
        if (!number)
            return std::nullopt;
        numbers[i] = *number;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return WindowPlace{numbers[0], numbers[1], numbers[2], numbers[3],
                       to_flag(value_of(content, gbk("最大化")).value_or(Text()))};
}

bool write_window_place(const std::filesystem::path& file, const WindowPlace& place) {
    std::string content;
    content.append("[").append(gbk("主窗口")).append("]\r\n");
    content.append(gbk("位置")).append("=");
    for (int number : {place.x, place.y, place.width, place.height})
        content.append(std::to_string(number)).append(",");
    content.back() = '\r';
    content.append("\n").append(gbk("最大化")).append("=").append(flag_text(place.maximised));
    content.append("\r\n");
    return write_file_atomically(file, content);
}

QPoint centred_place(QSize outer, const QRect& over, const QRect& free) {
    const QPoint centred(over.x() + (over.width() - outer.width()) / 2,
                         over.y() + (over.height() - outer.height()) / 2);
    if (free.isEmpty())
        return centred;
    return {std::clamp(centred.x(), free.left(), std::max(free.left(), free.right() + 1 - outer.width())),
            std::clamp(centred.y(), free.top(), std::max(free.top(), free.bottom() + 1 - outer.height()))};
}

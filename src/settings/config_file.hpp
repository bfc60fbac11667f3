#pragma once
// The configuration file "配置文件.ini" beside the program, section "设置".
// Each read and write builds the path afresh and touches one key.
#include "text/text.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Where the file is opened: the program folder's native path and the file's
// name, so that a folder name GBK cannot hold still works.
std::filesystem::path settings_file_native_path();
// The same path as a text, for showing it (characters GBK cannot hold are "?").
Text settings_file_path();
Text read_setting(const Text& key);
bool write_setting(const Text& key, const Text& value);

// The same two over the file's content in memory: the value of `key` in the
// section, and the content with `key` set to `value` (nothing when the key or
// the value cannot be written: a value holding a line end, a key that is empty
// or holds "=", or one that would read as a header or a comment).
Text settings_value(std::string_view content, const Text& key);
std::optional<std::string> settings_with_value(std::string_view content, const Text& key,
                                               const Text& value);

// Mode 1 (default, also for modes outside 1..2): true exactly when the text is "真".
// Mode 2: true when the number is not 0.
bool to_flag(std::optional<Text> text = std::nullopt, std::optional<double> number = std::nullopt,
             std::optional<int> mode = std::nullopt);

// The text form of a flag: "真" or "假".
Text flag_text(bool flag);

// "同时下载": how many episodes download at once, 1 to 4; 1 when absent or not
// a number.
int read_parallel_downloads();

// "写入标签": whether episodes are tagged for other players as they land (and
// their book folders given a cover file and a playlist); on unless set to
// anything but "真".
bool read_tag_writing();

#pragma once
// Where the configuration file lives. A program kept in a folder of its own
// keeps "配置文件.ini" beside its executable. A program whose folder the user
// cannot write, or one installed with its menu entry (such as /usr/bin), keeps
// it in the user's configuration folder instead: $XDG_CONFIG_HOME/audiobook-client/,
// by default ~/.config/audiobook-client/. A file beside the executable always
// wins when it exists. Other files of the program that belong with its configuration
// live in the same folder.
#include <filesystem>

// The folder that holds the configuration file; the user's configuration folder
// is created when it is the one chosen and does not exist yet.
std::filesystem::path configuration_folder();

// The native path of the configuration file.
std::filesystem::path configuration_file();

// Where listening stopped in each episode, beside the configuration file.
std::filesystem::path listening_positions_file();

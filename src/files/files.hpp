#pragma once
// Files and folders. Paths inside the program are GBK texts; they turn into
// native (UTF-8) paths only here, at the edge.
#include "text/text.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The folder of the running executable, without a trailing separator: its
// native path (which holds any name), and as a text (characters GBK cannot hold
// become "?", so the text is for showing, not for opening).
std::filesystem::path program_folder_path();
Text program_folder();
// Tests point the program folder somewhere else; an empty path restores the real one.
void set_program_folder(const std::filesystem::path& folder);

// The process's current working directory as a text.
Text current_folder();

std::filesystem::path native_path(const Text& path);
Text text_path(const std::filesystem::path& path);

// Joins a folder and a name with the platform's separator.
Text join_path(const Text& folder, const Text& name);

// Creates the folder and any missing parents; an existing folder is success.
bool create_folder(const Text& path);

// Writes the whole content to a temporary file beside `target` and renames it
// over the target, so the target is either the old file or the complete new one;
// the data is flushed to disk before the rename and the folder synced after it,
// so that this holds across a power cut too. The new file has `mode` when given
// (it is never wider than that while it is written), else 0644 less the umask.
// On failure the old file is untouched, no temporary file is left, and errno
// says why.
bool write_file_atomically(const std::filesystem::path& target, std::string_view content,
                           std::optional<std::filesystem::perms> mode = std::nullopt);

// Makes a finished file `target` in the same way: the file's data flushed to
// disk, then the rename, then the folder synced. On failure errno says why.
bool rename_durably(const std::filesystem::path& from, const std::filesystem::path& target);
// The rename and folder sync of rename_durably, for a file whose data its
// writer has already flushed (see streamed_file.hpp).
bool rename_synced(const std::filesystem::path& from, const std::filesystem::path& target);

// What a failed write's errno means for the user.
enum class WriteFailure {
    no_space,     // the disk (or the user's quota) is full
    cannot_write, // the folder is missing, read-only or not ours to write
    other,        // an input/output error and the like
};
WriteFailure write_failure_of(int error);

// A folder entry: its name as a text (for display and for building texts) and
// its own native name (so that names GBK cannot hold still open).
struct FolderEntry {
    Text name;
    std::filesystem::path native;
};

// Sub-folders of `folder`, without "." / ".." and hidden names, in natural order.
std::vector<FolderEntry> list_subfolders(const Text& folder);
// Regular files of `folder` whose names end with `extension` (ASCII case ignored,
// for example ".mp3"), without hidden names, in natural order.
std::vector<FolderEntry> list_files(const Text& folder, std::string_view extension);
// The same for a folder given by its native path (a name GBK cannot hold still lists).
std::vector<FolderEntry> list_files_in(const std::filesystem::path& folder,
                                       std::string_view extension);

// Natural order: runs of digits compare by value, so "第2集" comes before "第10集".
bool natural_less(std::string_view a, std::string_view b);

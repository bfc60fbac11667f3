#pragma once
// Where the episode downloads go: the book's folder under the save folder and
// one file per episode in it. The title comes from the web page, so it is made
// safe as a single path component before it names anything on disk.
#include "text/text.hpp"

#include <filesystem>

// The text as one file or folder name: every character that a Windows or Linux
// file name cannot hold ("/", "\", ":", "*", "?", """, "<", ">", "|", control
// bytes) becomes "_", trailing dots and spaces are dropped, and a leading dot
// (a hidden name here) becomes "_". A text too long for a name on disk is cut
// (at whole characters) to 200 bytes there, leaving room for what the episode
// files add to it. The result is never empty, "." or "..".
// Two-byte GBK characters are kept whole, even when their second byte looks
// like "\" or "|".
Text safe_path_component(const Text& text);

// The save folder to write into: the configured one, or the default save
// folder (the music folder's "有声书") when it is empty.
Text effective_save_folder(const Text& save_folder);

// The name of a book's folder and the start of its files' names. A title that
// is a safe name as it stands is its own name. Any other title (one with unsafe
// characters, or one that had to be cut) gets "_" and six hex digits of a
// stable hash of the whole title after its safe name (cut shorter to make
// room), so that two titles never share a folder for being made safe alike.
// A book name is its own book name: a folder name read back names the same folder.
Text book_name(const Text& title);

// save folder / book name
Text book_folder(const Text& save_folder, const Text& title);

// save folder / book name / book name + "_" + label + ".mp3"
Text downloaded_file_path(const Text& save_folder, const Text& title, const Text& label);

// The native path of that file when it lies on disk under its final name, which
// a download gives it only once complete; empty otherwise.
std::filesystem::path downloaded_file_on_disk(const Text& save_folder, const Text& title,
                                              const Text& label);

// The episode number a file's name gives ("…第12集.mp3" gives 12), or 0 when
// it names none.
int episode_number_in_name(const Text& file_name);

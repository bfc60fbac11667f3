#pragma once
// What the settings window checks in its fields before anything is saved, without
// a window: each check gives the empty text for a good value, else why it is
// not (GBK, as the window shows it).
#include "text/text.hpp"

// The first episode: empty (from the start), or a whole number from 0.
Text start_episode_problem(const Text& typed);
// How many episodes a query lists: empty (the usual 10), or 1 to 9999.
Text episode_count_problem(const Text& typed);
// The Media host: empty (the book page's own host), or a host name with an
// optional port from 1 to 65535.
Text media_host_problem(const Text& typed);
// The save folder as typed: empty (the music folder's 有声书), or a full path
// whose name GBK can hold (`gbk_holds` false: it cannot).
Text save_folder_problem(const Text& typed, bool gbk_holds);
// Whether the save folder can be made and written: it is created when missing
// and a file is written into it and removed again.
Text save_folder_write_problem(const Text& folder);
// The longest text any check gives, for the room a window keeps for it.
Text longest_problem();

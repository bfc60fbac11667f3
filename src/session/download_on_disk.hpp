#pragma once
// What the disk already holds of an episode listed again (by a query, or in a
// list that comes back): its file under its final name, or the bytes a
// download cut short left in its hidden partial file.
#include "session/episode.hpp"

// The episode's file is on disk under its final name: it reads as downloaded
// and plays from there.
bool find_downloaded_file(Episode& episode);
// A download of the episode was cut short: it reads as paused ("已暂停 62%"),
// with the bytes kept and the whole length the note beside them gives (-1 when
// the note does not fit them).
bool find_partial_download(Episode& episode);

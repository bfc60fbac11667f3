#pragma once
// Whether two rows are the same episode of the same book, whichever list they
// were listed in: a row's id lives only as long as its list, so the playing
// episode is found again in a new list by its book and number, or by its file.
#include "session/episode.hpp"

bool same_episode(const Episode& a, const Episode& b);

// "正在播放《测试书名》第36集", or "已暂停《…》第36集" while paused.
Text now_playing_text(const Episode& episode, bool paused);

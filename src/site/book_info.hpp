#pragma once
#include "text/text.hpp"

// The fields of the last loaded book page.
struct BookInfo {
    Text page_text;
    Text book_id;
    Text current_episode;
    Text episode_total;
    Text category;
    Text title;
    Text narrator;
    Text author;
    Text status;
    Text cover_address;
};

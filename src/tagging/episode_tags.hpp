#pragma once
// An episode's tags, written into its MP3 file with TagLib so that any player
// sorts it into its book: an ID3v2.4 tag in UTF-8 in place of the one the host
// sent. Only that tag changes; every byte after it (the audio frames, and any
// other tag the host put at the end) stays as it came.
//
// The tag also records the length the Media host gave the file and the length
// of the audio part, so that a tagged file can still be told complete by
// comparing it with the host's length.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>

struct EpisodeTags {
    Text title;    // GBK: "第N集"
    Text album;    // the book's title
    Text artist;   // the author, also the album artist
    Text composer; // the narrator
    int track = 0; // N; 0: none
    int total = 0; // the book's episode count; 0: unknown
    Bytes cover;   // a JPEG, PNG or GIF; empty, or of another kind: no picture
};

// Replaces the file's ID3v2 tag with one holding `tags` and the lengths. A file
// whose tag already records them keeps their record (it is being tagged
// again); any other is taken as the host sent it. A file that cannot be opened,
// or holds no MPEG audio, is left as it was (not_mpeg); `failed` means that
// writing failed and the file may be changed.
enum class TagWrite { written, not_mpeg, failed };
TagWrite write_episode_tags(const std::filesystem::path& file, const EpisodeTags& tags);

// The host's length recorded in the file's tag, when the audio part still has
// the length recorded beside it; 0 when the audio part differs (the file was cut
// or changed); nothing when no length is recorded (an untagged file, or one
// tagged by another program).
std::optional<std::int64_t> recorded_host_length(const std::filesystem::path& file);

// What a file's tag says of its book, for tagging the book again.
struct TaggedBook {
    Text album, artist, composer; // GBK
    int total = 0;
};
std::optional<TaggedBook> tagged_book(const std::filesystem::path& file);

// The audio's length in whole seconds (rounded), or -1 when unknown.
int duration_seconds(const std::filesystem::path& file);

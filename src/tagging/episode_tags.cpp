#include "tagging/episode_tags.hpp"

#include "tagging/cover_kind.hpp"
#include "text/gbk.hpp"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cmath>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using TagLib::String;

namespace {

// The records of our own, in TXXX frames.
const String host_length_key("AUDIOBOOK HOST LENGTH");
const String audio_length_key("AUDIOBOOK AUDIO LENGTH");

String unicode(const Text& gbk_text) {
    return String(gbk_to_utf8(gbk_text), String::UTF8);
}

Text gbk_of(const String& text) {
    return utf8_to_gbk(text.to8Bit(true));
}

// Bytes of the file after its ID3v2 tag.
std::int64_t audio_length(TagLib::MPEG::File& mp3) {
    const std::int64_t tag =
        mp3.hasID3v2Tag() ? std::int64_t(mp3.ID3v2Tag()->header()->completeTagSize()) : 0;
    return std::int64_t(mp3.length()) - tag;
}

std::optional<std::int64_t> recorded(TagLib::ID3v2::Tag* tag, const String& key) {
    if (!tag)
        return std::nullopt;
    auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(tag, key);
    if (!frame || frame->fieldList().size() < 2)
        return std::nullopt;
    const std::string value = frame->fieldList()[1].to8Bit();
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(value);
}

void add_text(TagLib::ID3v2::Tag& tag, const char* id, const String& value) {
    if (value.isEmpty())
        return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, String::UTF8);
    frame->setText(value);
    tag.addFrame(frame);
}

void add_record(TagLib::ID3v2::Tag& tag, const String& key, std::int64_t value) {
    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
        key, TagLib::StringList(String(std::to_string(value))), String::UTF8));
}

void add_cover(TagLib::ID3v2::Tag& tag, const Bytes& cover) {
    const CoverKind kind = cover_kind(cover);
    if (kind.mime.empty())
        return;
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setTextEncoding(String::UTF8);
    picture->setMimeType(String(std::string(kind.mime)));
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setPicture(
        TagLib::ByteVector(reinterpret_cast<const char*>(cover.data()), unsigned(cover.size())));
    tag.addFrame(picture);
}

String track_text(int track, int total) {
    if (track <= 0)
        return {};
    return String(total > 0 ? std::to_string(track) + "/" + std::to_string(total)
                            : std::to_string(track));
}

void fill(TagLib::ID3v2::Tag& tag, const EpisodeTags& tags) {
    add_text(tag, "TIT2", unicode(tags.title));
    add_text(tag, "TALB", unicode(tags.album));
    add_text(tag, "TPE1", unicode(tags.artist));
    add_text(tag, "TPE2", unicode(tags.artist));
    add_text(tag, "TCOM", unicode(tags.composer));
    add_text(tag, "TRCK", track_text(tags.track, tags.total));
    add_text(tag, "TCON", unicode(gbk("有声书")));
    add_cover(tag, tags.cover);
}

} // namespace

TagWrite write_episode_tags(const fs::path& file, const EpisodeTags& tags) {
    TagLib::MPEG::File mp3(file.c_str(), false);
    if (!mp3.isValid() || mp3.readOnly() || mp3.firstFrameOffset() < 0)
        return TagWrite::not_mpeg;
    // A file tagged before keeps what it recorded of the host's file.
    TagLib::ID3v2::Tag* old = mp3.hasID3v2Tag() ? mp3.ID3v2Tag() : nullptr;
    const auto kept_host = recorded(old, host_length_key);
    const auto kept_audio = recorded(old, audio_length_key);
    const bool retag = kept_host && kept_audio;
    const std::int64_t host = retag ? *kept_host : std::int64_t(mp3.length());
    const std::int64_t audio = retag ? *kept_audio : audio_length(mp3);

    TagLib::ID3v2::Tag* tag = mp3.ID3v2Tag(true);
    // By their ids: a copy of the frame list would share the frames it deletes.
    std::vector<TagLib::ByteVector> ids;
    for (const auto& [id, frames] : tag->frameListMap())
        ids.push_back(id);
    for (const TagLib::ByteVector& id : ids)
        tag->removeFrames(id);
    fill(*tag, tags);
    add_record(*tag, host_length_key, host);
    add_record(*tag, audio_length_key, audio);
    const bool saved = mp3.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                                TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate);
    return saved ? TagWrite::written : TagWrite::failed;
}

std::optional<std::int64_t> recorded_host_length(const fs::path& file) {
    TagLib::MPEG::File mp3(file.c_str(), false);
    if (!mp3.isValid() || !mp3.hasID3v2Tag())
        return std::nullopt;
    const auto host = recorded(mp3.ID3v2Tag(), host_length_key);
    const auto audio = recorded(mp3.ID3v2Tag(), audio_length_key);
    if (!host || !audio)
        return std::nullopt;
    return audio_length(mp3) == *audio ? *host : 0;
}

std::optional<TaggedBook> tagged_book(const fs::path& file) {
    TagLib::MPEG::File mp3(file.c_str(), false);
    if (!mp3.isValid() || !mp3.hasID3v2Tag())
        return std::nullopt;
    TagLib::ID3v2::Tag* tag = mp3.ID3v2Tag();
    if (!recorded(tag, host_length_key))
        return std::nullopt; // not one of ours: the host's words
    auto text_of = [tag](const char* id) {
        const auto& frames = tag->frameListMap()[id];
        return frames.isEmpty() ? Text() : gbk_of(frames.front()->toString());
    };
    TaggedBook book{text_of("TALB"), text_of("TPE1"), text_of("TCOM"), 0};
    const Text track = text_of("TRCK");
    if (const auto slash = track.find('/'); slash != Text::npos)
        book.total = std::atoi(track.c_str() + slash + 1);
    return book;
}

int duration_seconds(const fs::path& file) {
    TagLib::MPEG::File mp3(file.c_str(), true);
    const TagLib::AudioProperties* audio = mp3.isValid() ? mp3.audioProperties() : nullptr;
    if (!audio || audio->lengthInMilliseconds() <= 0)
        return -1;
    return int(std::lround(audio->lengthInMilliseconds() / 1000.0));
}

// Episode tags written with TagLib and read back by TagLib and by another
// reader: the frames, the cover, the ID3v2.4 header, the audio part byte for
// byte as the host sent it, and the host's length that the completeness check
// compares.
#include "tagging/episode_tags.hpp"

#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <memory>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        char pattern[] = "/tmp/tagging-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

Bytes read_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void append(Bytes& to, std::string_view text) {
    to.insert(to.end(), text.begin(), text.end());
}

void put_be32(Bytes& to, std::uint32_t value, bool syncsafe) {
    for (int shift = 21; shift >= 0; shift -= 7) {
        if (syncsafe)
            to.push_back(std::uint8_t((value >> shift) & 0x7F));
    }
    if (!syncsafe)
        for (int shift = 24; shift >= 0; shift -= 8)
            to.push_back(std::uint8_t(value >> shift));
}

// An ID3v2.3 tag as a host writes one: its own words, an advert picture of
// `picture_bytes` bytes when not 0, and some padding.
Bytes host_tag(std::string_view title, std::size_t picture_bytes = 0) {
    Bytes frames;
    auto frame = [&frames](std::string_view id, const Bytes& body) {
        append(frames, id);
        put_be32(frames, std::uint32_t(body.size()), false);
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), body.begin(), body.end());
    };
    Bytes text{0};
    append(text, title);
    frame("TIT2", text);
    Bytes album{0};
    append(album, "book 28946");
    frame("TALB", album);
    if (picture_bytes > 0) {
        Bytes picture{0};
        append(picture, "image/png");
        picture.push_back(0);
        picture.push_back(3);
        picture.push_back(0);
        picture.resize(picture.size() + picture_bytes, 0x5A);
        frame("APIC", picture);
    }
    frames.resize(frames.size() + 64, 0);
    Bytes tag;
    append(tag, "ID3");
    tag.push_back(3);
    tag.push_back(0);
    tag.push_back(0);
    put_be32(tag, std::uint32_t(frames.size()), true);
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

Bytes id3v1(std::string_view title) {
    Bytes tag;
    append(tag, "TAG");
    append(tag, title);
    tag.resize(128, 0);
    tag[127] = 12;
    return tag;
}

// The bytes after a leading ID3v2 tag, read from its header alone.
Bytes audio_part(const Bytes& file) {
    if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3')
        return file;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = size << 7 | file[std::size_t(i)];
    size += 10 + ((file[5] & 0x10) ? 10 : 0);
    return Bytes(file.begin() + std::ptrdiff_t(size), file.end());
}

Bytes jpeg_cover() {
    Bytes picture{0xFF, 0xD8, 0xFF, 0xE0};
    picture.resize(3000, 0x11);
    return picture;
}

Bytes png_cover() {
    Bytes picture{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    picture.resize(500, 0x22);
    return picture;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

EpisodeTags sample_tags(const Bytes& cover) {
    EpisodeTags tags;
    tags.title = gbk("第3集");
    tags.album = gbk("星海远航");
    tags.artist = gbk("林远");
    tags.composer = gbk("王播音");
    tags.track = 3;
    tags.total = 120;
    tags.cover = cover;
    return tags;
}

Text utf8_of(const TagLib::String& text) {
    return text.to8Bit(true);
}

// What TagLib reads back: each frame's text and whether it is UTF-8.
struct ReadBack {
    int version = 0;
    std::map<std::string, std::string> texts;
    bool all_utf8 = true;
    int frames = 0;
    int pictures = 0;
    std::string picture_mime;
    int picture_type = -1;
    Bytes picture;
};

ReadBack read_back(const fs::path& file) {
    ReadBack back;
    TagLib::MPEG::File mp3(file.c_str(), false);
    TagLib::ID3v2::Tag* tag = mp3.ID3v2Tag();
    if (!tag)
        return back;
    back.version = int(tag->header()->majorVersion());
    for (TagLib::ID3v2::Frame* frame : tag->frameList()) {
        ++back.frames;
        const std::string id(frame->frameID().data(), frame->frameID().size());
        if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
            back.all_utf8 = back.all_utf8 && text->textEncoding() == TagLib::String::UTF8;
            if (id != "TXXX")
                back.texts[id] = utf8_of(text->toString());
        } else if (auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            ++back.pictures;
            back.picture_mime = utf8_of(apic->mimeType());
            back.picture_type = int(apic->type());
            const TagLib::ByteVector data = apic->picture();
            back.picture.assign(data.data(), data.data() + data.size());
        }
    }
    return back;
}

} // namespace

// Every kind of host file and cover: the host's own tag goes, ours comes, and
// the rest of the file stays byte for byte, tagged once or again.
TEST(EpisodeTags, ReplaceTheHostsTagAndKeepTheAudio) {
    const Bytes audio = silent_mp3();
    struct Case {
        const char* name;
        Bytes host;
        Bytes cover;
        const char* mime; // empty: no picture
    };
    const Case cases[] = {
        {"no tag, no cover", audio, {}, ""},
        {"host tag, GIF cover", concat(host_tag("episode 37"), audio), sample_cover_gif("28946"),
         "image/gif"},
        {"host tag, JPEG cover", concat(host_tag("episode 37"), audio), jpeg_cover(), "image/jpeg"},
        {"large advert tag, PNG cover", concat(host_tag("advert", 200000), audio), png_cover(),
         "image/png"},
        {"host tag and ID3v1 at the end", concat(concat(host_tag("episode 37"), audio), id3v1("ad")),
         {}, ""},
        {"a cover of no known kind", audio, Bytes(100, 0x42), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        const fs::path file = folder.path / "episode.mp3";
        write_bytes(file, c.host);
        ASSERT_EQ(write_episode_tags(file, sample_tags(c.cover)), TagWrite::written);

        const Bytes tagged = read_bytes(file);
        EXPECT_EQ(audio_part(tagged), audio_part(c.host)); // audio (and any ID3v1) untouched
        const ReadBack back = read_back(file);
        EXPECT_EQ(back.version, 4);
        EXPECT_TRUE(back.all_utf8);
        const std::map<std::string, std::string> expected{
            {"TIT2", "第3集"}, {"TALB", "星海远航"}, {"TPE1", "林远"},  {"TPE2", "林远"},
            {"TCOM", "王播音"}, {"TRCK", "3/120"},   {"TCON", "有声书"},
        };
        EXPECT_EQ(back.texts, expected); // nothing of the host's words is left
        const bool picture = *c.mime != 0;
        EXPECT_EQ(back.pictures, picture ? 1 : 0);
        EXPECT_EQ(back.frames, 7 + 2 + (picture ? 1 : 0)); // ours, the two records, the cover
        if (picture) {
            EXPECT_EQ(back.picture_mime, c.mime);
            EXPECT_EQ(back.picture_type, int(TagLib::ID3v2::AttachedPictureFrame::FrontCover));
            EXPECT_EQ(back.picture, c.cover);
        }
        EXPECT_EQ(recorded_host_length(file), std::int64_t(c.host.size()));

        // Tagged again with other words: the record stays the host's.
        EpisodeTags again = sample_tags({});
        again.composer = gbk("另一位");
        ASSERT_EQ(write_episode_tags(file, again), TagWrite::written);
        EXPECT_EQ(audio_part(read_bytes(file)), audio_part(c.host));
        EXPECT_EQ(read_back(file).texts.at("TCOM"), "另一位");
        EXPECT_EQ(recorded_host_length(file), std::int64_t(c.host.size()));
        const auto book = tagged_book(file);
        ASSERT_TRUE(book.has_value());
        EXPECT_EQ(book->album, gbk("星海远航"));
        EXPECT_EQ(book->composer, gbk("另一位"));
        EXPECT_EQ(book->total, 120);
    }
}

// What the completeness check is told of a file on disk.
TEST(EpisodeTags, RecordedLengthSaysWhetherTheFileIsTheHostsWhole) {
    const Bytes host = concat(host_tag("episode 1"), silent_mp3());
    struct Case {
        const char* name;
        bool tag;
        std::ptrdiff_t cut; // bytes cut from the end after tagging
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"untagged", false, 0, std::nullopt},
        {"tagged", true, 0, std::int64_t(host.size())},
        {"tagged, then cut short", true, 417, std::int64_t(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        const fs::path file = folder.path / "e.mp3";
        write_bytes(file, host);
        if (c.tag) {
            ASSERT_EQ(write_episode_tags(file, sample_tags({})), TagWrite::written);
        }
        if (c.cut > 0)
            fs::resize_file(file, fs::file_size(file) - std::uintmax_t(c.cut));
        EXPECT_EQ(recorded_host_length(file), c.expected);
    }
    // Tags of another program are no record of ours.
    Folder folder;
    const fs::path file = folder.path / "e.mp3";
    write_bytes(file, host);
    EXPECT_FALSE(tagged_book(file).has_value());
}

TEST(EpisodeTags, AFileWithoutMpegAudioStaysAsItCame) {
    const Bytes cases[] = {
        {'h', 'e', 'l', 'l', 'o'},
        concat(host_tag("x"), Bytes(2000, 0)),
        Bytes{},
    };
    for (const Bytes& content : cases) {
        Folder folder;
        const fs::path file = folder.path / "e.mp3";
        write_bytes(file, content);
        EXPECT_EQ(write_episode_tags(file, sample_tags(jpeg_cover())), TagWrite::not_mpeg);
        EXPECT_EQ(read_bytes(file), content);
    }
    EXPECT_EQ(write_episode_tags("/nonexistent/e.mp3", sample_tags({})), TagWrite::not_mpeg);
}

// Another reader (mutagen, installed by scripts/setup.sh) reads the same tag.
TEST(EpisodeTags, AnotherReaderReadsThem) {
    Folder folder;
    const fs::path file = folder.path / "episode.mp3";
    write_bytes(file, concat(host_tag("episode 37"), silent_mp3()));
    ASSERT_EQ(write_episode_tags(file, sample_tags(sample_cover_gif("x"))), TagWrite::written);
    const std::string script =
        "import sys\n"
        "from mutagen.id3 import ID3\n"
        "from mutagen.mp3 import MP3\n"
        "t = ID3(sys.argv[1])\n"
        "print('version', '.'.join(map(str, t.version)))\n"
        "for k in ['TIT2','TALB','TPE1','TPE2','TCOM','TRCK','TCON']:\n"
        "    print(k, str(t[k]), int(t[k].encoding))\n"
        "p = t.getall('APIC')[0]\n"
        "print('APIC', p.mime, int(p.type), len(p.data))\n"
        "print('seconds', round(MP3(sys.argv[1]).info.length))\n";
    const fs::path script_file = folder.path / "read.py";
    std::ofstream(script_file) << script;
    // Debian's own interpreter, which has the Debian package.
    const std::string command = "/usr/bin/python3 " + script_file.string() + " " + file.string();
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    const std::string expected = "version 2.4.0\n"
                                 "TIT2 第3集 3\n"
                                 "TALB 星海远航 3\n"
                                 "TPE1 林远 3\n"
                                 "TPE2 林远 3\n"
                                 "TCOM 王播音 3\n"
                                 "TRCK 3/120 3\n"
                                 "TCON 有声书 3\n"
                                 "APIC image/gif 3 " +
                                 std::to_string(sample_cover_gif("x").size()) +
                                 "\n"
                                 "seconds 1\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(duration_seconds(file), 1);
}

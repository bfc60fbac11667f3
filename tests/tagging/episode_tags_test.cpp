// Episode tags written with TagLib and read back by TagLib and by mutagen: the
// frames, the cover, the ID3v2.4 header, the audio part byte for byte as the
// host sent it, and the host's length that the completeness check compares.
#include "tagging/episode_tags.hpp"

#include "site/sample_site.hpp"
#include "support/site_fixture.hpp"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstdio>
#include <map>
#include <memory>

namespace fs = std::filesystem;

namespace {

Bytes read_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An ID3v2.3 tag as a host writes one: a title frame, then `room` bytes (an
// advert picture, say, read here as padding).
Bytes host_tag(std::size_t room = 64) {
    Bytes tag{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0, 'T', 'I', 'T', '2', 0, 0, 0, 3, 0, 0, 0, 'a', 'd'};
    tag.resize(tag.size() + room, 0);
    const std::size_t size = tag.size() - 10;
    for (int i = 0; i < 4; ++i)
        tag[std::size_t(6 + i)] = std::uint8_t((size >> (21 - 7 * i)) & 0x7F);
    return tag;
}

// The bytes after a leading ID3v2 tag, by its header alone.
Bytes audio_part(const Bytes& file) {
    if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3')
        return file;
    std::size_t size = 10 + ((file[5] & 0x10) ? 10 : 0);
    for (int i = 6; i < 10; ++i)
        size += std::size_t(file[std::size_t(i)]) << (7 * (9 - i));
    return Bytes(file.begin() + std::ptrdiff_t(size), file.end());
}

EpisodeTags sample_tags(const Bytes& cover) {
    return {gbk("第3集"), gbk("星海远航"), gbk("林远"), gbk("王播音"), 3, 120, cover};
}

// Frame id → text ("mime type size" for a picture), and whether all are UTF-8.
std::map<std::string, std::string> frames_of(const fs::path& file, int& version, bool& utf8) {
    std::map<std::string, std::string> frames;
    TagLib::MPEG::File mp3(file.c_str(), false);
    version = mp3.hasID3v2Tag() ? int(mp3.ID3v2Tag()->header()->majorVersion()) : 0;
    utf8 = true;
    for (TagLib::ID3v2::Frame* frame : mp3.hasID3v2Tag() ? mp3.ID3v2Tag()->frameList()
                                                          : TagLib::ID3v2::FrameList()) {
        std::string id(frame->frameID().data(), frame->frameID().size());
        std::string text = frame->toString().to8Bit(true);
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            text = picture->mimeType().to8Bit() + " " + std::to_string(int(picture->type())) + " " +
                   std::to_string(picture->picture().size());
        else
            utf8 = utf8 && frame->render().mid(10, 1)[0] == 3; // the text's encoding byte
        frames[id == "TXXX" ? id + " " + text.substr(1, text.find(']') - 1) : id] = text;
    }
    return frames;
}

} // namespace

// Every kind of host file and cover: the host's own tag goes, ours comes, and
// the rest of the file stays byte for byte, tagged once or again.
TEST(EpisodeTags, ReplaceTheHostsTagAndKeepTheAudio) {
    const Bytes audio = silent_mp3();
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0}, png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    jpeg.resize(3000, 1);
    png.resize(500, 2);
    const Bytes id3v1 = Bytes{'T', 'A', 'G'} + Bytes(125, 'x');
    struct Case {
        const char* name;
        Bytes host, cover;
        const char* picture; // what the APIC frame says; empty: none
    };
    const Case cases[] = {
        {"no tag, no cover", audio, {}, ""},
        {"host tag, GIF", host_tag() + audio, sample_cover_gif("a"), "image/gif 3 "},
        {"host tag, JPEG", host_tag() + audio, jpeg, "image/jpeg 3 3000"},
        {"a large host tag, PNG", host_tag(200000) + audio, png, "image/png 3 500"},
        {"host tag and ID3v1 at the end", host_tag() + audio + id3v1, {}, ""},
        {"a cover of no known kind", audio, Bytes(100, 7), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const fs::path file = folder.path / "e.mp3";
        write_bytes(file, c.host);
        for (const char* composer : {"王播音", "另一位"}) { // tagged, then tagged again
            EpisodeTags tags = sample_tags(c.cover);
            tags.composer = gbk(composer);
            ASSERT_EQ(write_episode_tags(file, tags), TagWrite::written);
            EXPECT_EQ(audio_part(read_bytes(file)), audio_part(c.host));
            int version = 0;
            bool utf8 = false;
            auto frames = frames_of(file, version, utf8);
            EXPECT_EQ(version, 4);
            EXPECT_TRUE(utf8);
            std::string picture = frames["APIC"];
            frames.erase("APIC");
            const std::string host = std::to_string(c.host.size());
            const std::string audio_length = std::to_string(audio_part(c.host).size());
            const std::map<std::string, std::string> expected{
                {"TIT2", "第3集"}, {"TALB", "星海远航"}, {"TPE1", "林远"}, {"TPE2", "林远"},
                {"TCOM", composer}, {"TRCK", "3/120"}, {"TCON", "有声书"},
                {"TXXX AUDIOBOOK HOST LENGTH", "[AUDIOBOOK HOST LENGTH] " + host},
                {"TXXX AUDIOBOOK AUDIO LENGTH", "[AUDIOBOOK AUDIO LENGTH] " + audio_length},
            };
            EXPECT_EQ(frames, expected); // nothing of the host's words is left
            EXPECT_EQ(picture.substr(0, std::string(c.picture).size()), c.picture);
            EXPECT_EQ(picture.empty(), *c.picture == 0);
            EXPECT_EQ(recorded_host_length(file), std::int64_t(c.host.size()));
        }
        EXPECT_EQ(tagged_book(file)->composer, gbk("另一位"));
    }
}

// What the completeness check is told of a file, and files that are no MP3.
TEST(EpisodeTags, TheRecordedLengthAndFilesLeftAlone) {
    const Bytes host = host_tag() + silent_mp3();
    struct Case {
        const char* name;
        Bytes content;
        bool tag;
        std::uintmax_t cut; // bytes cut from the end after tagging
        TagWrite wrote;
        std::optional<std::int64_t> recorded;
    };
    const Case cases[] = {
        {"untagged", host, false, 0, TagWrite::written, std::nullopt},
        {"tagged", host, true, 0, TagWrite::written, std::int64_t(host.size())},
        {"tagged, then cut short", host, true, 417, TagWrite::written, 0},
        {"text", {'h', 'i'}, true, 0, TagWrite::not_mpeg, std::nullopt},
        {"a tag and no audio", host_tag() + Bytes(2000, 0), true, 0, TagWrite::not_mpeg, std::nullopt},
        {"empty", {}, true, 0, TagWrite::not_mpeg, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const fs::path file = folder.path / "e.mp3";
        write_bytes(file, c.content);
        if (c.tag) {
            ASSERT_EQ(write_episode_tags(file, sample_tags({})), c.wrote);
        }
        if (c.wrote == TagWrite::not_mpeg) {
            EXPECT_EQ(read_bytes(file), c.content);
        }
        fs::resize_file(file, fs::file_size(file) - c.cut);
        EXPECT_EQ(recorded_host_length(file), c.recorded);
        EXPECT_EQ(tagged_book(file).has_value(), c.recorded.has_value()); // only ours count
    }
}

// Another reader (mutagen, from Debian's python3-mutagen) reads the same tag.
TEST(EpisodeTags, AnotherReaderReadsThem) {
    TempFolder folder;
    const fs::path file = folder.path / "e.mp3", script = folder.path / "read.py";
    write_bytes(file, host_tag() + silent_mp3());
    ASSERT_EQ(write_episode_tags(file, sample_tags(sample_cover_gif("x"))), TagWrite::written);
    std::ofstream(script) << "import sys\nfrom mutagen.id3 import ID3\nfrom mutagen.mp3 import MP3\n"
                             "t = ID3(sys.argv[1])\nprint('.'.join(map(str, t.version)))\n"
                             "for k in ['TIT2','TALB','TPE1','TPE2','TCOM','TRCK','TCON']:\n"
                             "    print(k, t[k], int(t[k].encoding))\n"
                             "p = t.getall('APIC')[0]\nprint(p.mime, int(p.type), len(p.data))\n"
                             "print(round(MP3(sys.argv[1]).info.length))\n";
    // Debian's own interpreter, which has the Debian package.
    const std::string command = "/usr/bin/python3 " + script.string() + " " + file.string();
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string out;
    for (char buffer[512]; std::fgets(buffer, sizeof buffer, pipe.get());)
        out += buffer;
    EXPECT_EQ(out, "2.4.0\nTIT2 第3集 3\nTALB 星海远航 3\nTPE1 林远 3\nTPE2 林远 3\n"
                   "TCOM 王播音 3\nTRCK 3/120 3\nTCON 有声书 3\nimage/gif 3 " +
                       std::to_string(sample_cover_gif("x").size()) + "\n1\n");
    EXPECT_EQ(duration_seconds(file), 1);
}

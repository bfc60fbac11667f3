#include "site/sample_site.hpp"

#include "text/gbk.hpp"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

namespace {

constexpr std::size_t mp3_frame_size = 417;
constexpr std::size_t frames_per_second = 39;

// ---- small helpers -------------------------------------------------------------

Text hex64(std::uint64_t value) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The episode number by value, as a canonical text: "036" -> "36", "002.5" -> "2.5",
// "00-4" -> "-4", "000" -> "0".
Text episode_value(const Text& number) {
    std::size_t i = 0;
    while (i < number.size() && number[i] == '0')
        ++i;
    Text rest = number.substr(i);
    if (rest.empty() || rest[0] == '.')
        rest = "0" + rest;
    return number_to_text(text_to_number(rest));
}

// The same padding the program applies to build a media address.
Text pad_number(const Text& number) {
    const double n = text_to_number(number);
    if (n < 10)
        return "00" + number;
    if (n < 100)
        return "0" + number;
    return number;
}

Text today_text() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &parts);
    return buffer;
}

// Replaces each "{{name}}" of a GBK template with its value.
Text fill(Text page, const std::vector<std::pair<std::string, Text>>& values) {
    for (const auto& [name, value] : values)
        page = replace_all(page, "{{" + name + "}}", value);
    return page;
}

Text cookie_value(const httplib::Request& request, const Text& name) {
    for (std::size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
        const Text header = request.get_header_value("Cookie", i);
        for (const Text& piece : split_text(header, ";")) {
            const Text pair = trim_spaces(piece);
            const auto equals = pair.find('=');
            if (equals != Text::npos && pair.substr(0, equals) == name)
                return pair.substr(equals + 1);
        }
    }
    return {};
}

// ---- the self-signed certificate ----------------------------------------------

struct Credentials {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    Credentials() = default;
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;
    ~Credentials() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

bool make_credentials(Credentials& out) {
    out.key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    out.cert = X509_new();
    if (out.key == nullptr || out.cert == nullptr)
        return false;
    X509_set_version(out.cert, 2);
    std::random_device random;
    ASN1_INTEGER_set(X509_get_serialNumber(out.cert), long(random() & 0x7fffffff));
    X509_gmtime_adj(X509_getm_notBefore(out.cert), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(out.cert), 3650L * 24 * 3600);
    X509_set_pubkey(out.cert, out.key);
    X509_NAME* name = X509_get_subject_name(out.cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Sample Catalogue"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(out.cert, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, out.cert, out.cert, nullptr, nullptr, 0);
    X509_EXTENSION* names =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    if (names == nullptr)
        return false;
    X509_add_ext(out.cert, names, -1);
    X509_EXTENSION_free(names);
    return X509_sign(out.cert, out.key, EVP_sha256()) > 0;
}

// ---- servers ------------------------------------------------------------------

// The worker pool of a server, counting the connections it is handed.
// Each task is one connection for its whole life, so the tasks running at
// once are the connections open at once; the most of them is kept.
class CountingPool : public httplib::TaskQueue {
  public:
    CountingPool(std::size_t threads, std::atomic<int>& count, std::atomic<int>& open,
                 std::atomic<int>& peak)
        : pool_(threads), count_(count), open_(open), peak_(peak) {}
    void enqueue(std::function<void()> task) override {
        ++count_;
        pool_.enqueue([this, task = std::move(task)] {
            const int now = ++open_;
            int seen = peak_;
            while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
            }
            task();
            --open_;
        });
    }
    void shutdown() override { pool_.shutdown(); }

  private:
    httplib::ThreadPool pool_;
    std::atomic<int>& count_;
    std::atomic<int>& open_;
    std::atomic<int>& peak_;
};

// Shuts down every connected socket of this process whose local end is
// 127.0.0.1:port, so that workers waiting on idle keep-alive connections end now.
void cut_connections(int port) {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr)
        return;
    const int own = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == own)
            continue;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != port)
            continue;
        sockaddr_in peer{};
        length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0)
            shutdown(fd, SHUT_RDWR);
    }
    closedir(folder);
}

struct Fault {
    int status = 0;
    bool reset_midway = false;
    bool empty_body = false;
    bool stall = false;
    bool login_page = false;
    Text episode;  // canonical value; empty: every episode
    int limit = 0; // faulty answers left before the switches go off; 0: no limit
    int retry_after = -1;
    bool reset_once = false;

    bool any() const { return status != 0 || reset_midway || empty_body || stall || login_page; }
    void switch_off() {
        status = 0;
        reset_midway = empty_body = stall = login_page = false;
    }
};

constexpr const char* last_modified = "Mon, 06 Jan 2025 08:00:00 GMT";

struct Pacing {
    int delay_ms = 0;
    int bytes_per_chunk = 0;
    int chunk_delay_ms = 0;
};

} // namespace

// ---- MP3 and GIF ------------------------------------------------------------------

Bytes silent_mp3(std::size_t min_size) {
    std::size_t frames =
        std::max(frames_per_second, (min_size + mp3_frame_size - 1) / mp3_frame_size);
    Bytes data(frames * mp3_frame_size, 0);
    for (std::size_t f = 0; f < frames; ++f) {
        std::uint8_t* header = data.data() + f * mp3_frame_size;
        // MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, no padding, joint
        // stereo, original; all-zero side information decodes to silence.
        header[0] = 0xFF;
        header[1] = 0xFB;
        header[2] = 0x90;
        header[3] = 0x64;
    }
    return data;
}

namespace {

// LZW stream of 9-bit literal codes with a clear code every 250 pixels: the code
// width never grows, which keeps the encoder trivial and the output valid.
Bytes gif_image_data(const std::vector<std::uint8_t>& pixels) {
    Bytes stream;
    std::uint32_t bits = 0;
    int bit_count = 0;
    auto put = [&](std::uint32_t code) {
        bits |= code << bit_count;
        bit_count += 9;
        while (bit_count >= 8) {
            stream.push_back(std::uint8_t(bits & 0xFF));
            bits >>= 8;
            bit_count -= 8;
        }
    };
    constexpr std::uint32_t clear = 256, end = 257;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % 250 == 0)
            put(clear);
        put(pixels[i]);
    }
    put(end);
    if (bit_count > 0)
        stream.push_back(std::uint8_t(bits & 0xFF));

    Bytes blocks;
    blocks.push_back(8); // minimum code size
    for (std::size_t at = 0; at < stream.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, stream.size() - at);
        blocks.push_back(std::uint8_t(n));
        blocks.insert(blocks.end(), stream.begin() + long(at), stream.begin() + long(at + n));
    }
    blocks.push_back(0);
    return blocks;
}

} // namespace

Bytes sample_cover_gif(const Text& seed) {
    constexpr int width = 96, height = 128;
    const std::uint64_t hash = fnv1a(seed);
    const std::uint8_t red = std::uint8_t(64 + (hash & 0x7F));
    const std::uint8_t green = std::uint8_t(64 + ((hash >> 8) & 0x7F));
    const std::uint8_t blue = std::uint8_t(64 + ((hash >> 16) & 0x7F));

    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&](int v) {
        gif.push_back(std::uint8_t(v & 0xFF));
        gif.push_back(std::uint8_t(v >> 8));
    };
    put16(width);
    put16(height);
    gif.push_back(0xF7); // global colour table of 256 entries
    gif.push_back(0);
    gif.push_back(0);
    const std::uint8_t palette[4][3] = {
        {red, green, blue},
        {std::uint8_t(red / 3), std::uint8_t(green / 3), std::uint8_t(blue / 3)},
        {250, 246, 232},
        {60, 60, 60}};
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            gif.push_back(i < 4 ? palette[i][c] : 0);

    std::vector<std::uint8_t> pixels(std::size_t(width * height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t p = 0;
            if (x < 4 || y < 4 || x >= width - 4 || y >= height - 4 || x == 10)
                p = 1; // frame and spine
            else if (y >= 24 && y < 64 && x >= 18 && x < width - 10) {
                p = 2; // title label
                if ((y == 34 || y == 35 || y == 44 || y == 45 || y == 54) && x >= 24 &&
                    x < width - 16)
                    p = 3;
            }
            pixels[std::size_t(y * width + x)] = p;
        }
    }
    gif.push_back(0x2C); // image descriptor
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    gif.push_back(0);
    const Bytes data = gif_image_data(pixels);
    gif.insert(gif.end(), data.begin(), data.end());
    gif.push_back(0x3B);
    return gif;
}

// ---- sample books ---------------------------------------------------------------

std::vector<SampleBook> sample_books() {
    std::vector<SampleBook> books(3);
    books[0].book_id = "28946";
    books[0].title = gbk("星海远航");
    books[0].category = "kehuan";
    books[0].author_field = gbk(
        "<a href=\"/zuozhe/1032.htm\" title=\"林远航\" target=\"_blank\">林远航</a>&nbsp;&nbsp;");
    books[0].narrator_field = gbk("<a href=\"/bo/25.htm\" target=\"_blank\">王明</a>&nbsp;&nbsp;");
    books[0].status_field = gbk("<font color=\"red\">连载中</font>&nbsp;&nbsp;");
    books[0].episode_total = 120;

    books[1].book_id = "10086";
    books[1].title = gbk("山河故人");
    books[1].category = "wenxue";
    books[1].author_field =
        gbk("<a href=\"/zuozhe/77.htm\" title=\"周青\" target=\"_blank\">周青</a>&nbsp;&nbsp;");
    books[1].narrator_field = gbk("<a href=\"/bo/8.htm\" target=\"_blank\">李秋</a>&nbsp;&nbsp;");
    books[1].status_field = gbk("<font color=\"green\">完结</font>&nbsp;&nbsp;");
    books[1].episode_total = 36;
    books[1].capitalised_markers = true;

    books[2].book_id = "31337";
    books[2].title = gbk("古城疑云");
    books[2].category = "xuanyi";
    books[2].author_field =
        gbk("<a href=\"/zuozhe/4096.htm\" title=\"陈默\" target=\"_blank\">陈默</a>&nbsp;&nbsp;");
    books[2].narrator_field = gbk(
        "<a href=\"/bo/3.htm\" target=\"_blank\">赵雷</a>、<a href=\"/bo/4.htm\">孙悦</a>&nbsp;");
    books[2].status_field = gbk("<font color=\"red\">连载中</font>&nbsp;&nbsp;");
    books[2].episode_total = 1300;
    return books;
}

// ---- the site ---------------------------------------------------------------------

struct SampleSite::Impl {
    explicit Impl(SampleSiteOptions options)
        : episode_size(options.episode_size), pacing{options.media_delay_ms,
                                                     options.media_bytes_per_chunk,
                                                     options.media_chunk_delay_ms},
          script_delay_ms(options.script_delay_ms), cover_delay_ms(options.cover_delay_ms),
          random(std::random_device{}()) {
        std::string suffix;
        for (int i = 0; i < 8; ++i)
            suffix += char('A' + random() % 26);
        cookie_name = "ASPSESSIONID" + suffix;
        frames = std::make_shared<const Bytes>(options.episode_audio.empty()
                                                   ? silent_mp3(episode_size)
                                                   : options.episode_audio);
    }

    // Fixed at construction.
    std::size_t episode_size;
    Text cookie_name;
    std::shared_ptr<const Bytes> frames; // the silent part of every episode

    // Guarded by mutex.
    mutable std::mutex mutex;
    std::condition_variable wake; // faults switched off, or stopping
    std::map<Text, SampleBook> books;
    std::map<Text, Bytes> covers; // by title
    std::set<Text> sessions;
    Pacing pacing;
    int script_delay_ms = 0;
    int cover_delay_ms = 0;
    std::atomic<int> page_status{0}; // play pages answer with this status (0: normal)
    std::atomic<int> page_delay_ms{0}; // delay before each play page answer
    Fault fault;
    int stall_generation = 0;  // counts set_media_stall calls: a stalled answer waits for one
    std::set<Text> reset_done; // episodes whose first answer was cut (set_media_reset_once)
    int version = 0;
    std::vector<Text> user_agents;
    bool stopping = false;
    std::mt19937 random;

    // Running servers.
    std::unique_ptr<httplib::SSLServer> catalogue;
    std::unique_ptr<httplib::Server> media;
    std::thread catalogue_thread, media_thread;
    int catalogue_port = 0, media_port = 0;

    std::atomic<int> pages{0}, cover_count{0}, script_with{0}, script_without{0}, served{0},
        refused{0}, catalogue_connections{0}, media_connections{0}, full_requests{0},
        range_requests{0}, head_requests{0}, catalogue_open{0}, catalogue_peak{0}, media_open{0},
        media_peak{0};
    // Keys that work once: a GET that the key let through moves the episode
    // to its next key, which the player script hands out from then on.
    std::atomic<bool> single_use_keys{false};
    mutable std::mutex keys_mutex;
    std::map<Text, int> key_generation; // by book id and episode value

    Text host(int port) const { return "127.0.0.1:" + std::to_string(port); }

    Text id3_tag(const Text& book_id, const Text& episode) const {
        const Text title = "book " + book_id + " episode " + episode_value(episode);
        Bytes frame = {'T', 'I', 'T', '2'};
        const std::size_t body = title.size() + 1;
        for (int shift = 24; shift >= 0; shift -= 8)
            frame.push_back(std::uint8_t((body >> shift) & 0xFF));
        frame.push_back(0);
        frame.push_back(0);
        frame.push_back(0); // ISO-8859-1
        frame.insert(frame.end(), title.begin(), title.end());
        Bytes tag = {'I', 'D', '3', 3, 0, 0};
        for (int shift = 21; shift >= 0; shift -= 7)
            tag.push_back(std::uint8_t((frame.size() >> shift) & 0x7F));
        tag.insert(tag.end(), frame.begin(), frame.end());
        return Text(tag.begin(), tag.end());
    }

    Text base_key(const Text& book_id, const Text& episode) const {
        return hex64(fnv1a("sample-site|" + book_id + "|" + episode_value(episode)));
    }

    Text key_for(const Text& book_id, const Text& episode) const {
        int generation = 0;
        {
            std::lock_guard lock(keys_mutex);
            auto it = key_generation.find(book_id + "|" + episode_value(episode));
            if (it != key_generation.end())
                generation = it->second;
        }
        const Text base = base_key(book_id, episode);
        return generation == 0 ? base : hex64(fnv1a(base + "|" + std::to_string(generation)));
    }

    void use_key(const Text& book_id, const Text& episode) {
        std::lock_guard lock(keys_mutex);
        ++key_generation[book_id + "|" + episode_value(episode)];
    }

    // Waits up to `ms` or until stopping; false when stopping.
    bool pause_for(int ms) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
        return !stopping;
    }

    // ---- catalogue ----

    std::optional<SampleBook> find_book(const Text& id) const {
        std::lock_guard lock(mutex);
        auto it = books.find(id);
        if (it == books.end())
            return std::nullopt;
        return it->second;
    }

    void not_found(httplib::Response& response) const {
        response.status = 404;
        response.set_content(gbk("<html><head><meta http-equiv=\"Content-Type\" "
                                 "content=\"text/html; charset=gbk\" /><title>无法找到该页</title>"
                                 "</head><body><h1>无法找到该页</h1><p>您要查看的页面可能已被删除"
                                 "、更名或暂时不可用。</p><p><a href=\"/\">返回首页</a></p>"
                                 "</body></html>"),
                             "text/html; charset=gbk");
    }

    bool has_session(const httplib::Request& request) const {
        const Text value = cookie_value(request, cookie_name);
        std::lock_guard lock(mutex);
        return !value.empty() && sessions.count(value) > 0;
    }

    void give_session(const httplib::Request& request, httplib::Response& response) {
        if (has_session(request))
            return;
        std::string value;
        {
            std::lock_guard lock(mutex);
            for (int i = 0; i < 24; ++i)
                value += char('A' + random() % 26);
            sessions.insert(value);
        }
        response.set_header("Set-Cookie", cookie_name + "=" + value + "; path=/");
    }

    Text play_page(const SampleBook& book, const Text& episode) const {
        const int n = int(text_to_number(episode));
        const Text prev = std::to_string(std::max(1, n - 1));
        const Text next = std::to_string(std::min(std::max(1, book.episode_total), n + 1));
        Text list;
        const int first = std::max(1, n - 4);
        const int last = std::min(book.episode_total, first + 9);
        for (int k = first; k <= last; ++k) {
            const Text ks = std::to_string(k);
            list += "<li" + Text(k == n ? " class=\"on\"" : "") + "><a href=\"play_" +
                    book.book_id + "_" + ks + ".htm\">" + gbk("第") + ks + gbk("集") +
                    "</a></li>\r\n";
        }
        const Text flei = book.capitalised_markers ? "&FLEI=" : "&flei=";
        const Text bookname = book.capitalised_markers ? "&BOOKNAME=" : "&bookname=";
        const Text filename = book.capitalised_markers ? "&FILENAME=" : "&filename=";
        static const Text page_template = gbk(
            R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk" />
<title>{{title}}第{{n}}集在线收听_{{title}}有声小说_在线听书</title>
<meta name="keywords" content="{{title}},有声小说,在线收听,mp3下载" />
<link href="/css/style.css" rel="stylesheet" type="text/css" />
<script type="text/javascript" src="/js/common.js"></script>
</head>
<body>
<div id="top"><a href="/">有声小说网</a> | <a href="/yousheng/">有声小说</a> | <a href="/paihang/">排行榜</a> | <a href="/zuixin/">最近更新</a></div>
<div class="nav">当前位置：<a href="/">首页</a> &gt; <a href="/yousheng/{{flei_value}}/">{{flei_value}}</a> &gt; <a href="/yousheng/{{id}}/">{{title}}</a> &gt; 第{{n}}集</div>
<div class="playbox">
<h1>正在收听：《{{title}}》 第{{n}}集/共{{total}}集　<<a href="play_{{id}}_{{prev}}.htm">上一集</a>&nbsp;&nbsp;<a href="play_{{id}}_{{next}}.htm">下一集</a>>></h1>
<div class="player">
<iframe id="play" name="play" src="/play/yousheng/flash.asp?id={{id}}&filename={{n}}.mp3&nexturl=play_{{id}}.htm" width="560" height="70" frameborder="0" scrolling="no"></iframe>
<script type="text/javascript">
var flashvars = "id={{id}}{{flei}}{{flei_value}}{{bookname}}{{title}}{{filename}}{{n}}.mp3&nexturl=play_{{id}}_{{next}}.htm";
</script>
</div>
</div>
<div class="bookinfo">
<div class="pic"><img src="/cover/yousheng/{{title}}.gif" alt="{{title}}" width="120" height="160" /></div>
<div class="info">
<h2>{{title}}</h2>
<p>播音：{{narrator}}作者：{{author}}状态：{{status}}更新：{{date}}</p>
<p>集数：共{{total}}集</p>
</div>
</div>
<div class="playlist"><ul>
{{list}}</ul></div>
<div id="footer">本站所有有声小说均来自网络，仅供试听交流。<br />版权所有 有声小说网</div>
</body>
</html>
)");
        return fill(page_template, {{"flei", flei},
                                    {"bookname", bookname},
                                    {"filename", filename},
                                    {"list", list},
                                    {"id", book.book_id},
                                    {"n", episode},
                                    {"prev", prev},
                                    {"next", next},
                                    {"total", std::to_string(book.episode_total)},
                                    {"date", today_text()},
                                    {"flei_value", book.category},
                                    {"narrator", book.narrator_field},
                                    {"author", book.author_field},
                                    {"status", book.status_field},
                                    {"title", book.title}});
    }

    Text home_page() const {
        Text items;
        {
            std::lock_guard lock(mutex);
            for (const auto& [id, book] : books)
                items += "<li><a href=\"/yousheng/" + id + "/play_" + id + "_1.htm\">" +
                         book.title + "</a> (" + gbk("共") + std::to_string(book.episode_total) +
                         gbk("集") + ")</li>\r\n";
        }
        static const Text page_template = gbk(
            R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" />
<title>有声小说网 - 在线收听</title></head>
<body><h1>有声小说网</h1><ul>
{{items}}</ul></body></html>
)");
        return fill(page_template, {{"items", items}});
    }

    void script(const httplib::Request& request, httplib::Response& response) {
        int delay = 0;
        {
            std::lock_guard lock(mutex);
            delay = script_delay_ms;
        }
        if (delay > 0 && !pause_for(delay)) {
            response.status = 503;
            return;
        }
        const bool session = has_session(request);
        ++(session ? script_with : script_without);
        const Text id = request.get_param_value("id");
        Text number = request.get_param_value("filename");
        if (ends_with(number, ".mp3"))
            number.resize(number.size() - 4);
        const auto book = find_book(id);
        Text answer;
        if (session && book && !number.empty()) {
            static const Text with_key = gbk(
                R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" /></head>
<body style="margin:0">
<script type="text/javascript">
var nexturl = "{{nexturl}}";
var mp3url = "http://{{media}}/yousheng/{{flei}}/{{title}}/{{padded}}.mp3?key={{key}}";
document.write('<embed src="/play/yousheng/mp3player.swf" flashvars="file=' + mp3url + '" width="560" height="70" />');
</script>
</body></html>
)");
            answer = fill(with_key, {{"nexturl", request.get_param_value("nexturl")},
                                     {"media", host(media_port)},
                                     {"padded", pad_number(number)},
                                     // Not out yet: the key is left empty.
                                     {"key", text_to_number(number) > book->episode_total
                                                 ? Text()
                                                 : key_for(id, number)},
                                     {"flei", book->category},
                                     {"title", book->title}});
        } else {
            answer = gbk(
                R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" /></head>
<body style="margin:0">
<script type="text/javascript">
var mp3url = "";
</script>
<p>会话已过期，请从播放页重新进入。</p>
</body></html>
)");
        }
        response.set_header("Cache-Control", "private");
        response.set_content(answer, "text/html; charset=gbk");
    }

    void catalogue_request(const httplib::Request& request, httplib::Response& response) {
        const Text& path = request.path;
        if (path == "/") {
            response.set_content(home_page(), "text/html; charset=gbk");
            return;
        }
        if (path == "/play/yousheng/flash.asp") {
            script(request, response);
            return;
        }
        const Text cover_prefix = "/cover/yousheng/";
        if (starts_with(path, cover_prefix) && ends_with(path, ".gif")) {
            ++cover_count;
            int delay = 0;
            {
                std::lock_guard lock(mutex);
                delay = cover_delay_ms;
            }
            if (delay > 0 && !pause_for(delay)) {
                response.status = 503;
                return;
            }
            const Text title =
                path.substr(cover_prefix.size(), path.size() - cover_prefix.size() - 4);
            std::lock_guard lock(mutex);
            auto it = covers.find(title);
            if (it != covers.end()) {
                response.set_content(Text(it->second.begin(), it->second.end()), "image/gif");
                return;
            }
        } else {
            // /yousheng/<id>/play_<id>_<n>.htm
            const auto parts = split_text(path, "/");
            if (parts.size() == 4 && parts[0].empty() && parts[1] == "yousheng") {
                const Text& id = parts[2];
                const Text prefix = "play_" + id + "_";
                const Text& file = parts[3];
                if (starts_with(file, prefix) && ends_with(file, ".htm")) {
                    ++pages;
                    if (const int delay = page_delay_ms; delay > 0 && !pause_for(delay)) {
                        response.status = 503;
                        return;
                    }
                    if (id == "0") { // hangs until the site stops
                        while (pause_for(1000)) {
                        }
                        response.status = 503;
                        return;
                    }
                    const Text episode =
                        file.substr(prefix.size(), file.size() - prefix.size() - 4);
                    const bool digits = !episode.empty() &&
                                        std::all_of(episode.begin(), episode.end(),
                                                    [](char c) { return c >= '0' && c <= '9'; });
                    const auto book = find_book(id);
                    if (book && digits && page_status != 0) {
                        response.status = page_status;
                        return;
                    }
                    if (book && digits) {
                        give_session(request, response);
                        response.set_header("Cache-Control", "private");
                        response.set_content(play_page(*book, episode), "text/html; charset=gbk");
                        return;
                    }
                }
            }
        }
        not_found(response);
    }

    // ---- media ----

    void media_request(const httplib::Request& request, httplib::Response& response) {
        const Text& path = request.path;
        const bool head = request.method == "HEAD";
        ++(head ? head_requests : request.has_header("Range") ? range_requests : full_requests);
        std::optional<SampleBook> book;
        Text padded;
        {
            std::lock_guard lock(mutex);
            user_agents.push_back(request.get_header_value("User-Agent"));
            for (const auto& [id, candidate] : books) {
                const Text prefix = "/yousheng/" + candidate.category + "/" + candidate.title + "/";
                if (starts_with(path, prefix) && ends_with(path, ".mp3")) {
                    const Text rest = path.substr(prefix.size(), path.size() - prefix.size() - 4);
                    if (!rest.empty() && rest.find('/') == Text::npos) {
                        book = candidate;
                        padded = rest;
                        break;
                    }
                }
            }
        }
        if (!book) {
            ++refused;
            response.status = 404;
            response.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
            return;
        }
        const Text episode = episode_value(padded);
        Fault now;
        bool cut_once = false;
        int stall_wait = 0;
        Pacing pace;
        {
            std::lock_guard lock(mutex);
            now = fault;
            pace = pacing;
            stall_wait = stall_generation;
            const bool faulty = fault.episode.empty() || fault.episode == episode;
            if (!faulty)
                now.switch_off();
            else if (!head && fault.any() && fault.limit > 0 && --fault.limit == 0)
                fault.switch_off();
            cut_once = !head && faulty && fault.reset_once && reset_done.insert(episode).second;
        }
        if (!head && now.stall) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] {
                return stopping || stall_generation != stall_wait ||
                       !(fault.episode.empty() || fault.episode == episode);
            });
            if (stopping) {
                ++refused;
                response.status = 503;
                return;
            }
        }
        if (pace.delay_ms > 0 && !pause_for(pace.delay_ms)) {
            ++refused;
            response.status = 503;
            return;
        }
        if (now.status != 0) {
            ++refused;
            response.status = now.status;
            if (now.retry_after >= 0)
                response.set_header("Retry-After", std::to_string(now.retry_after));
            response.set_content("<html><body><h1>" + std::to_string(now.status) +
                                     "</h1></body></html>",
                                 "text/html");
            return;
        }
        if (request.get_param_value("key") != key_for(book->book_id, episode)) {
            ++refused;
            response.status = 403;
            response.set_content("<html><body><h1>403 Forbidden</h1></body></html>", "text/html");
            return;
        }
        if (!head && single_use_keys)
            use_key(book->book_id, episode);
        if (now.login_page) {
            ++refused;
            response.set_content(login_page(), "text/html; charset=gbk");
            return;
        }
        if (!head && now.empty_body) {
            ++refused;
            response.set_content("", "audio/mpeg");
            return;
        }
        if (!head)
            ++served;
        serve_episode(*book, episode, now.reset_midway && !head, cut_once, response);
    }

    Text login_page() const {
        return gbk(
            R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" />
<title>会员登录</title></head>
<body><form method="post" action="/login.asp"><p>请先登录后再收听。</p>
<p>用户名：<input name="user" /> 密码：<input name="pass" type="password" /></p>
<p><input type="submit" value="登录" /></p></form></body></html>
)");
    }

    Text etag_for(const Text& book_id, const Text& episode) const {
        std::lock_guard lock(mutex);
        return "\"" + hex64(fnv1a(base_key(book_id, episode) + "|" + std::to_string(version))) +
               "\"";
    }

    // The MP3, whole or the asked range; `reset` cuts the connection at the middle
    // of the file, `cut_once` at the middle of this answer.
    void serve_episode(const SampleBook& book, const Text& episode, bool reset, bool cut_once,
                       httplib::Response& response) {
        auto tag = std::make_shared<const Text>(id3_tag(book.book_id, episode));
        auto body = frames;
        const std::size_t total = tag->size() + body->size();
        response.set_header("ETag", etag_for(book.book_id, episode));
        response.set_header("Last-Modified", last_modified);
        auto cut_at = std::make_shared<std::size_t>(reset ? total / 2 : total);
        response.set_content_provider(
            total, "audio/mpeg",
            [this, tag, body, total, cut_once, cut_at](std::size_t offset, std::size_t length,
                                                       httplib::DataSink& sink) {
                if (cut_once && *cut_at == total)
                    *cut_at = offset + length / 2; // the first piece of this answer
                if (offset >= *cut_at)
                    return false; // the connection is closed mid-body
                const Pacing pace = current_pacing();
                std::size_t n = std::min<std::size_t>(length, 256 * 1024);
                if (pace.bytes_per_chunk > 0)
                    n = std::min<std::size_t>(n, std::size_t(pace.bytes_per_chunk));
                n = std::min(n, *cut_at - offset);
                if (!write_episode_bytes(*tag, *body, offset, n, sink))
                    return false;
                if (pace.bytes_per_chunk > 0 && pace.chunk_delay_ms > 0 && offset + n < total)
                    return pause_for(pace.chunk_delay_ms);
                return true;
            });
    }

    Pacing current_pacing() const {
        std::lock_guard lock(mutex);
        return pacing;
    }

    static bool write_episode_bytes(const Text& tag, const Bytes& body, std::size_t offset,
                                    std::size_t n, httplib::DataSink& sink) {
        const std::size_t total = tag.size() + body.size();
        std::size_t written = 0;
        while (written < n) {
            const std::size_t at = offset + written;
            const char* data;
            std::size_t available;
            if (at < tag.size()) {
                data = tag.data() + at;
                available = tag.size() - at;
            } else {
                data = reinterpret_cast<const char*>(body.data()) + (at - tag.size());
                available = total - at;
            }
            const std::size_t piece = std::min(available, n - written);
            if (!sink.write(data, piece))
                return false;
            written += piece;
        }
        return true;
    }
};

SampleSite::SampleSite(SampleSiteOptions options) : impl_(std::make_unique<Impl>(options)) {}

SampleSite::~SampleSite() {
    stop();
}

bool SampleSite::start(int catalogue_port, int media_port) {
    Impl& s = *impl_;
    if (s.catalogue || s.media)
        return false;
    Credentials credentials;
    if (!make_credentials(credentials))
        return false;
    auto catalogue = std::make_unique<httplib::SSLServer>(credentials.cert, credentials.key);
    auto media = std::make_unique<httplib::Server>();
    if (!catalogue->is_valid() || !media->is_valid())
        return false;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = false;
    }
    catalogue->new_task_queue = [&s] {
        return new CountingPool(8, s.catalogue_connections, s.catalogue_open, s.catalogue_peak);
    };
    media->new_task_queue = [&s] {
        return new CountingPool(16, s.media_connections, s.media_open, s.media_peak);
    };
    for (httplib::Server* server : {static_cast<httplib::Server*>(catalogue.get()), media.get()})
        server->set_keep_alive_max_count(100)
            .set_keep_alive_timeout(2)
            .set_read_timeout(5, 0)
            .set_write_timeout(5, 0);
    catalogue->Get(".*", [&s](const httplib::Request& request, httplib::Response& response) {
        s.catalogue_request(request, response);
    });
    media->Get(".*", [&s](const httplib::Request& request, httplib::Response& response) {
        s.media_request(request, response);
    });

    // SO_REUSEADDR only (no SO_REUSEPORT): a second site on a fixed port must fail, not share it.
    auto socket_options = [](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // Accepted sockets inherit this: answers written in several pieces (TLS
        // records) must not wait for the client's delayed acknowledgement.
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    };
    catalogue->set_socket_options(socket_options);
    media->set_socket_options(socket_options);
    auto bind = [](httplib::Server& server, int port) {
        if (port == 0)
            return server.bind_to_any_port("127.0.0.1");
        return server.bind_to_port("127.0.0.1", port) ? port : -1;
    };
    // A bound server is started at once, so that stop() can close its socket
    // whether or not the other one binds.
    s.catalogue_port = bind(*catalogue, catalogue_port);
    if (s.catalogue_port > 0) {
        s.catalogue = std::move(catalogue);
        s.catalogue_thread =
            std::thread([server = s.catalogue.get()] { server->listen_after_bind(); });
        s.media_port = bind(*media, media_port);
        if (s.media_port > 0) {
            s.media = std::move(media);
            s.media_thread = std::thread([server = s.media.get()] { server->listen_after_bind(); });
        }
    }
    // stop() can only end a server that has begun to listen.
    auto running = [&s] {
        return (!s.catalogue || s.catalogue->is_running()) && (!s.media || s.media->is_running());
    };
    for (int i = 0; i < 5000 && !running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!running() || !s.catalogue || !s.media) {
        stop();
        return false;
    }
    return true;
}

void SampleSite::stop() {
    Impl& s = *impl_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    s.wake.notify_all();
    if (s.catalogue)
        s.catalogue->stop();
    if (s.media)
        s.media->stop();
    // Workers end once their connection does; cut the idle and the slow ones.
    for (int round = 0; round < 2; ++round) {
        if (s.catalogue)
            cut_connections(s.catalogue_port);
        if (s.media)
            cut_connections(s.media_port);
    }
    if (s.catalogue_thread.joinable())
        s.catalogue_thread.join();
    if (s.media_thread.joinable())
        s.media_thread.join();
    s.catalogue.reset();
    s.media.reset();
}

void SampleSite::add_book(const SampleBook& book) {
    Bytes cover = sample_cover_gif(book.title);
    std::lock_guard lock(impl_->mutex);
    auto old = impl_->books.find(book.book_id);
    if (old != impl_->books.end())
        impl_->covers.erase(old->second.title);
    impl_->books[book.book_id] = book;
    impl_->covers[book.title] = std::move(cover);
}

int SampleSite::catalogue_port() const {
    return impl_->catalogue_port;
}
int SampleSite::media_port() const {
    return impl_->media_port;
}
Text SampleSite::catalogue_host() const {
    return impl_->host(impl_->catalogue_port);
}
Text SampleSite::media_host() const {
    return impl_->host(impl_->media_port);
}

Text SampleSite::play_page_address(const Text& book_id, int episode) const {
    return "https://" + catalogue_host() + "/yousheng/" + book_id + "/play_" + book_id + "_" +
           std::to_string(episode) + ".htm";
}

Text SampleSite::home_address() const {
    return "https://" + catalogue_host() + "/";
}
Text SampleSite::session_cookie_name() const {
    return impl_->cookie_name;
}

Text SampleSite::episode_key(const Text& book_id, const Text& episode_number) const {
    return impl_->key_for(book_id, episode_number);
}

Bytes SampleSite::episode_bytes(const Text& book_id, const Text& episode_number) const {
    const Text tag = impl_->id3_tag(book_id, episode_number);
    Bytes bytes(tag.begin(), tag.end());
    bytes.insert(bytes.end(), impl_->frames->begin(), impl_->frames->end());
    return bytes;
}

int SampleSite::page_requests() const {
    return impl_->pages;
}
int SampleSite::cover_requests() const {
    return impl_->cover_count;
}
int SampleSite::script_requests_with_cookie() const {
    return impl_->script_with;
}
int SampleSite::script_requests_without_cookie() const {
    return impl_->script_without;
}
int SampleSite::media_requests_served() const {
    return impl_->served;
}
int SampleSite::media_requests_refused() const {
    return impl_->refused;
}
int SampleSite::connections_accepted() const {
    return impl_->catalogue_connections;
}
int SampleSite::media_connections_peak() const {
    return impl_->media_peak;
}

void SampleSite::set_media_single_use_keys(bool on) {
    impl_->single_use_keys = on;
}

int SampleSite::media_connections_accepted() const {
    return impl_->media_connections;
}
int SampleSite::media_full_requests() const {
    return impl_->full_requests;
}
int SampleSite::media_range_requests() const {
    return impl_->range_requests;
}
int SampleSite::media_head_requests() const {
    return impl_->head_requests;
}
std::vector<Text> SampleSite::media_user_agents() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->user_agents;
}

void SampleSite::set_media_status(int status) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.status = status;
}

void SampleSite::set_media_reset_midway(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.reset_midway = on;
}

void SampleSite::set_media_empty_body(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.empty_body = on;
}

void SampleSite::set_media_stall(bool on) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->fault.stall = on;
        ++impl_->stall_generation;
    }
    impl_->wake.notify_all();
}

void SampleSite::set_media_fault_episode(const Text& episode_number) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->fault.episode = episode_number.empty() ? Text() : episode_value(episode_number);
    }
    impl_->wake.notify_all();
}

void SampleSite::set_media_pacing(int delay_ms, int bytes_per_chunk, int chunk_delay_ms) {
    std::lock_guard lock(impl_->mutex);
    impl_->pacing = Pacing{delay_ms, bytes_per_chunk, chunk_delay_ms};
}

void SampleSite::set_media_login_page(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.login_page = on;
}

void SampleSite::set_media_fault_limit(int answers) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.limit = answers < 0 ? 0 : answers;
}

void SampleSite::set_media_retry_after(int seconds) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.retry_after = seconds;
}

void SampleSite::set_media_reset_once(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault.reset_once = on;
    impl_->reset_done.clear();
}

void SampleSite::set_media_version(int version) {
    std::lock_guard lock(impl_->mutex);
    impl_->version = version;
}

void SampleSite::set_page_status(int status) {
    impl_->page_status = status;
}

void SampleSite::set_cover_delay(int ms) {
    std::lock_guard lock(impl_->mutex);
    impl_->cover_delay_ms = ms;
}

Text SampleSite::hanging_page_address() const {
    return play_page_address("0", 1);
}

void SampleSite::set_page_delay(int ms) {
    impl_->page_delay_ms = ms;
}

void SampleSite::set_script_delay(int ms) {
    std::lock_guard lock(impl_->mutex);
    impl_->script_delay_ms = ms;
}
